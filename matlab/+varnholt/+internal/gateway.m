function out = gateway(varargin)
%GATEWAY  varnholt_mex(VARARGIN{:}), its errors raised again without the
%   'varnholt_mex: ' that Octave puts before a MEX file's messages.
  try
    out = varnholt_mex(varargin{:});
  catch err
    error(err.identifier, '%s', regexprep(err.message, '^varnholt_mex: ', ''));
  end
end
