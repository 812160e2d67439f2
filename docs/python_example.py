# The README's worked example: a 1 kHz tone at 60 dB SPL that starts after
# 1 s, over noise at 50 dB SPL, at 44.1 kHz; its ECMA-418-2 tonality and the
# N5 of its time-varying loudness. Writes python-example.png.
import numpy as np

import varnholt

fs = 44100  # resampled to 48 kHz inside, as the varnholt tool does
t = np.arange(3 * fs) / fs
noise = np.random.default_rng(7).standard_normal(t.size)
noise *= 20e-6 * 10 ** (50 / 20) / noise.std()  # 50 dB SPL
tone = np.sqrt(2) * 20e-6 * 10 ** (60 / 20) * np.sin(2 * np.pi * 1000 * t) * (t >= 1.0)
x = noise + tone  # pascal

tonality = varnholt.ecma_tonality(x, fs=fs)
print(f"T_max = {tonality.T_max:.3f} {tonality.units['T_max']} at {tonality.f_T_max:.0f} Hz")
loudness = varnholt.loudness_time(x, fs=fs)
print(f"N5 = {loudness.N5:.2f} {loudness.units['N5']}")

top, bottom = tonality.plot()  # T(t) and tonal frequency above, specific tonality below
top.figure.savefig("python-example.png", dpi=72)
