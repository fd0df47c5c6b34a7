function varargout = message_or_outputs(f, varargin)
%MESSAGE_OR_OUTPUTS  F(VARARGIN{:})'s outputs, or its error message as every output.
%   Meant to run on a worker. The engines raise a worker's error in the client with a
%   message of their own, and the ErrorHandler of parallel 4.0.1 receives a stale
%   lasterror, not the error raised; catching it where it is raised keeps the
%   module's own message.
try
    [varargout{1:max(nargout, 1)}] = f(varargin{:});
catch err
    varargout = repmat({err.message}, 1, max(nargout, 1));
end
end
