function p = samples(x, what)
%SAMPLES  A sound array as double, frames x channels, in sample units.
%   Double and single arrays pass as they are; int16 and int32 PCM read with
%   full scale 1 (x / 32768, x / 2^31), as integer sound files are read. A
%   row vector is one channel; a matrix is one channel per column.
  if ~isnumeric(x) || issparse(x)
    varnholt.internal.raise('invalidArgument', sprintf( ...
      '%s: expected a numeric array of samples, got %s', what, class(x)));
  end
  if ~isreal(x)
    varnholt.internal.raise('invalidArgument', ...
      sprintf('%s: complex values are not sound pressures', what));
  end
  if ndims(x) > 2
    varnholt.internal.raise('invalidArgument', sprintf( ...
      '%s: expected a vector or a matrix of one channel per column, got %d dimensions', ...
      what, ndims(x)));
  end
  switch class(x)
    case 'double'
      p = x;
    case 'single'
      p = double(x);
    case 'int16'
      p = double(x) / 32768;
    case 'int32'
      p = double(x) / 2^31;
    otherwise
      varnholt.internal.raise('invalidArgument', sprintf( ...
        '%s: expected double, single, int16 or int32 samples, got %s', what, class(x)));
  end
  if isrow(p)
    p = p.';
  end
end
