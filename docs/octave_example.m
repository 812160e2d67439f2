% The README's worked example for MATLAB and GNU Octave: a 1 kHz tone at
% 60 dB SPL that starts after 1 s, over noise at 50 dB SPL, at 44.1 kHz; its
% ECMA-418-2 tonality and the N5 of its time-varying loudness. Writes
% octave-example.png.
fs = 44100;  % resampled to 48 kHz inside, as the varnholt tool does
t = (0:3*fs-1)' / fs;
randn('state', 7);
noise = randn(size(t));
noise = noise * 20e-6 * 10^(50/20) / std(noise);  % 50 dB SPL
tone = sqrt(2) * 20e-6 * 10^(60/20) * sin(2*pi*1000*t) .* (t >= 1);
x = noise + tone;  % pascal

tonality = varnholt.ecma_tonality(x, fs);
fprintf('T_max = %.3f %s at %.0f Hz\n', tonality.T_max, tonality.units.T_max, tonality.f_T_max);
loudness = varnholt.loudness_time(x, fs);
fprintf('N5 = %.2f %s\n', loudness.N5, loudness.units.N5);

f = figure('visible', 'off', 'position', [0 0 640 480]);
ax = varnholt.plot(tonality);  % T(t) and tonal frequency above, specific tonality below
print(f, '-dpngcairo', '-r72', 'octave-example.png');  % -dpng in MATLAB
