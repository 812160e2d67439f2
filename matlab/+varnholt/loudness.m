function r = loudness(x, varargin)
%LOUDNESS  Stationary loudness after ISO 532-1 (Zwicker method).
%   R = varnholt.loudness(X) takes one channel of sound pressure X in pascal
%   at 48 kHz (a row or column vector of double or single; int16 and int32
%   PCM read with full scale 1) and returns a struct of
%     N                  loudness, sone
%     LN                 loudness level, phon
%     bark               critical-band rate, Bark (240 x 1)
%     specific_loudness  specific loudness N', sone/Bark, over bark
%     units              the unit of every field, e.g. r.units.N = 'sone'
%     single_values      symbol, key, value, unit and definition of each value
%     warnings           what the analysis noticed (cellstr)
%   R = varnholt.loudness(X, FS) resamples X from FS Hz to 48 kHz first.
%   R = varnholt.loudness(..., 'Field', 'diffuse') assumes a diffuse sound
%   field ('free', the default: frontal free field).
%
%   Failures raise 'varnholt:<status>', e.g. varnholt:nonFiniteInput for a
%   NaN sample, varnholt:invalidSoundField for another field.
%
%   Example: a 1 kHz tone at 40 dB SPL is 1 sone.
%     fs = 48000; t = (0:fs-1)' / fs;
%     x = sqrt(2) * 20e-6 * 10^(40/20) * sin(2*pi*1000*t);
%     r = varnholt.loudness(x, fs);
%     fprintf('N = %.3f %s\n', r.N, r.units.N)
%
%   See also varnholt.loudness_time, varnholt.sharpness, varnholt.analyze.
  r = varnholt.internal.one_metric(x, varargin, 'loudness', 'loudness', true);
  r = r{1};
end
