function varargout = after_pause(seconds, f, varargin)
%AFTER_PAUSE  F(VARARGIN{:}) after a pause of SECONDS: keeps a worker busy while a
%   test stops its server in mid-run.
pause(seconds);
[varargout{1:max(nargout, 1)}] = f(varargin{:});
end
