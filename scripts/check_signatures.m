function check_signatures(folder)
%CHECK_SIGNATURES Validates the code suggestions files of a delivered folder with MATLAB's own check.
%   CHECK_SIGNATURES(FOLDER) runs validateFunctionSignaturesJSON on
%   FOLDER/functionSignatures.json and FOLDER/resources/functionSignatures.json, and
%   errors when either is missing or the check prints anything (it reports problems
%   as text, not as errors).

for file = {fullfile(folder, 'functionSignatures.json'), ...
            fullfile(folder, 'resources', 'functionSignatures.json')}
    assert(isfile(file{1}), 'check_signatures: %s missing', file{1});
    report = strtrim(evalc('validateFunctionSignaturesJSON(file{1})'));
    assert(isempty(report), 'check_signatures: %s:\n%s', file{1}, report);
    fprintf('check_signatures: %s valid\n', file{1});
end
end
