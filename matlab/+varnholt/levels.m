function r = levels(x, fs)
%LEVELS  Sound levels after IEC 61672-1 and third-octave band levels.
%   R = varnholt.levels(X) or varnholt.levels(X, FS): X one channel in pascal
%   at FS Hz (default 48000). R holds
%     LAeq, LCeq, LZeq, LAFmax, LASmax, LCpeak   dB re 20 uPa
%     frequency             the 28 third-octave centre frequencies, Hz
%     third_octave_levels   the band levels, dB (28 x 1)
%     units, single_values, warnings
%
%   Example: a 1 kHz tone at 94 dB SPL.
%     fs = 48000; t = (0:fs-1)' / fs;
%     r = varnholt.levels(sqrt(2) * sin(2*pi*1000*t), fs);
%     fprintf('LAeq = %.1f %s\n', r.LAeq, r.units.LAeq)
%
%   See also varnholt.analyze.
  args = {};
  if nargin > 1
    args = {fs};
  end
  r = varnholt.internal.one_metric(x, args, 'levels', 'levels', false);
  r = r{1};
end
