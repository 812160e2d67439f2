function fs = rate(fs)
%RATE  A checked sample rate in Hz: a real number (else invalidArgument),
%   positive and whole (else invalidSampleRate).
  if ~isnumeric(fs) || ~isscalar(fs) || ~isreal(fs) || isnan(fs)
    varnholt.internal.raise('invalidArgument', 'Fs: expected one real number of hertz');
  end
  fs = double(fs);
  if ~(fs >= 1 && fs <= 2^31 - 1 && fs == fix(fs))
    varnholt.internal.raise('invalidSampleRate', sprintf( ...
      'Fs %g: expected a positive whole number of hertz', fs));
  end
end
