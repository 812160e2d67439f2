function run_tests()
%RUN_TESTS  The tests of the MATLAB / Octave toolbox. Each test is a local
%   function that raises on failure; the runner counts, prints each failure
%   with its reason, ends with the line 'octave: N passed, M failed' and
%   exits non-zero when any failed. Run with the toolbox folder and the
%   folder of the built varnholt_mex on the path, and VARNHOLT_TOOL naming
%   the varnholt command-line tool:
%     octave --no-gui --no-window-system --eval "addpath('matlab', 'matlab/tests', ...
%       'build/matlab'); run_tests"
  tests = {@reference_loudness_1_sone, @reference_roughness_dw_1_asper, ...
           @reference_ecma_roughness_1_asper_hms, @tool_json_agreement, ...
           @error_identifiers, @status_identifiers, @two_columns_are_two_channels, ...
           @channel_error_is_a_field, @rate_44k1_is_resampled, @pcm_and_single_input, ...
           @calibration_options, @units_and_axes, @sharpness_per_frame, ...
           @plot_draws_headless};
  passed = 0;
  failed = 0;
  for k = 1:numel(tests)
    name = func2str(tests{k});
    try
      tests{k}();
      passed = passed + 1;
      fprintf('ok      %s\n', name);
    catch err
      failed = failed + 1;
      fprintf('FAILED  %s: %s\n', name, err.message);
      for s = err.stack(:).'
        fprintf('          at %s line %d\n', s.name, s.line);
      end
    end
  end
  fprintf('octave: %d passed, %d failed\n', passed, failed);
  if failed > 0
    exit(1);
  end
end

% ---- signals, written as physics ----

% A sine of frequency f (Hz) at level L (dB SPL), duration d (s), rate fs:
% p_rms = 20 uPa * 10^(L/20), peak sqrt(2) p_rms.
function x = sine(f, level, d, fs)
  t = (0:round(d * fs) - 1).' / fs;
  x = sqrt(2) * 20e-6 * 10^(level / 20) * sin(2 * pi * f * t);
end

% A carrier fc at level L (of the unmodulated carrier), 100 % amplitude
% modulation at fm.
function x = am_tone(fc, fm, level, d, fs)
  t = (0:round(d * fs) - 1).' / fs;
  x = sine(fc, level, d, fs) .* (1 + sin(2 * pi * fm * t));
end

% ---- checks ----

function check(condition, varargin)
  if ~condition
    error('check:failed', varargin{:});
  end
end

function check_near(value, expected, relative, what)
  check(abs(value - expected) <= relative * abs(expected), ...
        '%s = %.6g, expected %.6g within %g %%', what, value, expected, 100 * relative);
end

% Bit-for-bit equality, NaN equal to NaN; reports the worst index.
function check_same(a, b, what)
  a = a(:);
  b = b(:);
  check(numel(a) == numel(b), '%s: %d values, expected %d', what, numel(a), numel(b));
  differ = ~((a == b) | (isnan(a) & isnan(b)));
  if any(differ)
    k = find(differ, 1);
    error('check:failed', '%s: %d values differ, first at %d: %.17g vs %.17g', what, ...
          nnz(differ), k, a(k), b(k));
  end
end

function check_raises(id, call, what)
  try
    call();
  catch err
    check(strcmp(err.identifier, id), '%s: raised %s (%s), expected %s', what, ...
          err.identifier, err.message, id);
    check(~isempty(err.message), '%s: %s without a message', what, id);
    return;
  end
  error('check:failed', '%s: nothing raised, expected %s', what, id);
end

% ---- reference sounds (validation: the definitions of the units) ----

function reference_loudness_1_sone()
  % 1 sone is the loudness of a 1 kHz tone at 40 dB SPL in a frontal free field.
  r = varnholt.loudness(sine(1000, 40, 1, 48000), 48000);
  check_near(r.N, 1, 0.01, 'N');
  check(strcmp(r.units.N, 'sone'), 'unit of N: %s', r.units.N);
end

function reference_roughness_dw_1_asper()
  % 1 asper: a 1 kHz tone at 60 dB SPL, fully amplitude-modulated at 70 Hz.
  r = varnholt.roughness_dw(am_tone(1000, 70, 60, 2, 48000), 48000);
  check_near(r.R_max, 1, 0.15, 'R_max');
end

function reference_ecma_roughness_1_asper_hms()
  % The same sound is 1 asper_HMS of the hearing model.
  r = varnholt.ecma_roughness(am_tone(1000, 70, 60, 2, 48000), 48000);
  check_near(r.R_p90, 1, 0.10, 'R_p90');
end

% ---- the same numbers as the tool's, to the last bit ----

function tool_json_agreement()
  tool = getenv('VARNHOLT_TOOL');
  check(~isempty(tool), 'VARNHOLT_TOOL does not name the varnholt tool');
  dir = tempname();
  mkdir(dir);
  cleanup = onCleanup(@() confirm_recursive_rmdir_off(dir));
  fs = 44100;
  wav = fullfile(dir, 'stereo44k1.wav');
  audiowrite(wav, 0.05 * [am_tone(1000, 70, 80, 0.8, fs), sine(500, 70, 0.8, fs)], fs, ...
             'BitsPerSample', 16);
  out = fullfile(dir, 'result.json');
  [status, text] = system(sprintf('"%s" --metrics all --json "%s" "%s"', tool, out, wav));
  check(status == 0 || status == 1, 'the tool failed (%d): %s', status, text);
  file = exact_json(fileread(out));
  file = file.files(1);
  channels = varnholt.analyze(wav, 'Bands', true, 'Jobs', 2);
  check(numel(channels) == numel(file.channels), 'channels: %d, tool %d', ...
        numel(channels), numel(file.channels));
  for c = 1:numel(channels)
    mine = channels(c);
    if iscell(file.channels)
      theirs = file.channels{c};
    else
      theirs = file.channels(c);
    end
    where = sprintf('channel %d', c);
    check_same([mine.channel, mine.samples, mine.rms_pa, mine.peak_pa, mine.dc_offset_pa], ...
               cellfun(@number, {theirs.channel, theirs.analysed_samples, theirs.rms_pa, ...
                                 theirs.peak_pa, theirs.dc_offset_pa}), where);
    check(isequal(mine.warnings(:), [texts(file.warnings); texts(theirs.warnings)]), ...
          '%s: warnings differ', where);
    names = fieldnames(theirs.metrics);
    check(numel(names) == 8, '%s: %d metrics in the JSON', where, numel(names));
    for k = 1:numel(names)
      m = theirs.metrics.(names{k});
      r = mine.(names{k});
      what = sprintf('%s %s', where, names{k});
      check(strcmp(m.status, 'ok') && isstruct(r), '%s: failed', what);
      keys = fieldnames(m.summary);
      check(numel(keys) == numel(r.single_values), '%s: single values', what);
      for j = 1:numel(keys)
        v = r.single_values(j);
        s = m.summary.(keys{j});
        check(strcmp(v.key, keys{j}) && strcmp(v.unit, s.unit) && ...
              strcmp(v.definition, s.definition), '%s: %s', what, keys{j});
        check_same(v.value, number(s.value), [what ' ' keys{j}]);
        check_same(r.(regexprep(v.symbol, '[^A-Za-z0-9_]', '_')), v.value, [what ' ' v.symbol]);
      end
      if isfield(m, 'frame_times')
        check_same(r.time, number(m.frame_times.values), [what ' time']);
      end
      if isfield(m, 'series')
        for key = fieldnames(m.series).'
          check_same(r.(key{1}), number(m.series.(key{1}).values), [what ' ' key{1}]);
        end
      end
      if isfield(m, 'bands')
        for key = fieldnames(m.bands).'
          name = key{1};
          if strcmp(name, 'tonal_frequency')
            name = 'band_tonal_frequency';
          end
          check_same(r.(name), number(m.bands.(key{1}).values), [what ' ' name]);
        end
      end
    end
  end
end

% The tool's JSON, every number kept as its text: the tool writes the
% shortest text that reads back to the same double, and str2double reads it
% correctly rounded, whereas jsondecode's own reading may be 1 ulp off.
function doc = exact_json(text)
  [tokens, between] = regexp(text, '"(?:[^"\\]|\\.)*"|-?\d+(?:\.\d+)?(?:[eE][+-]?\d+)?', ...
                             'match', 'split');
  quoted = cellfun(@(t) t(1) == '"', tokens);
  tokens(~quoted) = strcat('"', tokens(~quoted), '"');
  parts = [between; [tokens, {''}]];
  doc = jsondecode([parts{:}]);
end

% A JSON list of strings as a column cellstr.
function c = texts(v)
  if isempty(v)
    c = cell(0, 1);
  elseif ischar(v)
    c = {v};
  else
    c = v(:);
  end
end

% A number, or an array (rows of arrays: a matrix), from exact_json's texts;
% null is NaN.
function v = number(v)
  if ischar(v)
    v = str2double(v);
  elseif isempty(v)
    v = NaN;
  elseif iscell(v) && all(cellfun(@(e) ischar(e) || isempty(e), v(:)))
    v = reshape(cellfun(@number, v), [], 1);
  elseif iscell(v)
    v = cell2mat(cellfun(@(row) reshape(number(row), 1, []), v(:), 'uniformoutput', false));
  end
end

function confirm_recursive_rmdir_off(dir)
  state = confirm_recursive_rmdir(false);
  rmdir(dir, 's');
  confirm_recursive_rmdir(state);
end

% ---- errors ----

function error_identifiers()
  fs = 48000;
  x = sine(1000, 60, 1, fs);
  with_nan = x;
  with_nan(100) = NaN;
  cases = {
    'varnholt:invalidArgument',   @() varnholt.loudness(complex(x, x)),           'complex samples'
    'varnholt:invalidArgument',   @() varnholt.loudness({x}),                     'a cell of samples'
    'varnholt:invalidArgument',   @() varnholt.loudness(uint8(x)),                'uint8 samples'
    'varnholt:invalidArgument',   @() varnholt.loudness([x x]),                   'two channels'
    'varnholt:invalidArgument',   @() varnholt.loudness(x, fs, 'Fiel', 'free'),   'an unknown option'
    'varnholt:invalidArgument',   @() varnholt.loudness(x, fs, 'Field'),          'an option without value'
    'varnholt:invalidArgument',   @() varnholt.loudness(x, NaN),                  'a NaN rate'
    'varnholt:invalidArgument',   @() varnholt.analyze(x, 'Fs', fs, 'Start', NaN), 'a NaN start'
    'varnholt:invalidArgument',   @() varnholt.analyze(x, 'Fs', fs, 'Jobs', 0),   'no jobs'
    'varnholt:invalidArgument',   @() varnholt.analyze(x, 'Fs', fs, 'Metrics', 'loudnes'), 'an unknown metric'
    'varnholt:invalidArgument',   @() varnholt.analyze(x, 'Fs', fs, 'Calibration', -1), 'a negative scale'
    'varnholt:invalidArgument',   @() varnholt.analyze(x, 'Fs', fs, 'Calibration', struct('full_scale_spl', NaN)), 'a NaN full-scale SPL'
    'varnholt:invalidArgument',   @() varnholt.analyze(x),                        'an array without Fs'
    'varnholt:invalidArgument',   @() varnholt.analyze(tempname(), 'Metrics', 'levels'), 'a missing file'
    'varnholt:invalidArgument',   @() varnholt.analyze(x, 'Fs', fs, 'Channel', 3), 'a channel the array lacks'
    'varnholt:invalidArgument',   @() varnholt.plot(42),                          'plot of a number'
    'varnholt:invalidArgument',   @() varnholt_mex('frobnicate'),                 'an unknown gateway command'
    'varnholt:invalidSampleRate', @() varnholt.loudness(x, 0),                    'a zero rate'
    'varnholt:invalidSampleRate', @() varnholt.loudness(x, 44100.5),              'a fractional rate'
    'varnholt:invalidSoundField', @() varnholt.loudness(x, fs, 'Field', 'room'),  'an unknown field'
    'varnholt:nonFiniteInput',    @() varnholt.loudness(with_nan, fs),            'a NaN sample'
    'varnholt:nonFiniteInput',    @() varnholt.levels(Inf(fs, 1), fs),            'infinite samples'
    'varnholt:inputTooShort',     @() varnholt.loudness([], fs),                  'no samples'
    'varnholt:inputTooShort',     @() varnholt.loudness(zeros(5, 0), fs),         'no channel'
    'varnholt:invalidArgument',   @() varnholt.analyze(zeros(5, 0), 'Fs', fs),    'an array of no channel'
    'varnholt:inputTooShort',     @() varnholt.ecma_tonality(x(1:4800), fs),      'a 0.1 s signal'
    'varnholt:inputTooShort',     @() varnholt.ecma_roughness(x(1:4800), fs),     'a 0.1 s signal'
  };
  for k = 1:size(cases, 1)
    check_raises(cases{k, 1}, cases{k, 2}, cases{k, 3});
  end
  % The message names what was refused, in the layer's words where the
  % layer refused it, with nothing of the gateway's name before them.
  missing = [tempname() '.wav'];
  messages = {@() varnholt.loudness(x, fs, 'Fiel', 'free'), 'Fiel'
              @() varnholt.analyze(missing),                missing
              @() varnholt.analyze(x, 'Fs', fs, 'Metrics', 'loudnes'), 'Metrics: metrics "loudnes"'
              @() varnholt.loudness(with_nan, fs),          'sample 99 (at '
              @() varnholt.ecma_tonality(x(1:4800), fs),    'ecma-tonality: input is too short'};
  for k = 1:size(messages, 1)
    try
      messages{k, 1}();
      error('check:failed', 'nothing raised for %s', messages{k, 2});
    catch err
      check(~isempty(strfind(err.message, messages{k, 2})) && ...
            ~strncmp(err.message, 'varnholt_mex', 12), ...
            'message "%s" does not name "%s"', err.message, messages{k, 2});
    end
  end
end

% The identifiers of the statuses no argument from here can provoke
% (allocation failure, numerical failure, ...), as the gateway names them.
function status_identifiers()
  ids = {1, 'varnholt:nullPointer'; 2, 'varnholt:invalidArgument';
         3, 'varnholt:invalidSampleRate'; 4, 'varnholt:invalidSoundField';
         5, 'varnholt:nonFiniteInput'; 6, 'varnholt:inputTooShort';
         7, 'varnholt:outputTooSmall'; 8, 'varnholt:sizeOverflow';
         9, 'varnholt:allocation'; 10, 'varnholt:numerical'; 11, 'varnholt:cancelled';
         12, 'varnholt:unknownStatus'};
  for k = 1:size(ids, 1)
    id = varnholt_mex('status_id', ids{k, 1});
    check(strcmp(id, ids{k, 2}), 'status %d: %s, expected %s', ids{k, 1}, id, ids{k, 2});
  end
end

% ---- input habits ----

function two_columns_are_two_channels()
  fs = 48000;
  a = sine(1000, 60, 1, fs);
  b = am_tone(2000, 40, 50, 1, fs);
  both = varnholt.analyze([a b], 'Fs', fs, 'Metrics', 'loudness,roughness');
  check(numel(both) == 2 && isequal([both.channel], [1 2]), 'channels of a 2-column matrix');
  one = varnholt.analyze(b, 'Fs', fs, 'Metrics', 'loudness,roughness');
  check_same(both(2).loudness.N, one.loudness.N, 'N of column 2');
  check_same(both(2).roughness.roughness, one.roughness.roughness, 'R(t) of column 2');
  alone = varnholt.loudness(a, fs);
  check_same(both(1).loudness.N, alone.N, 'N of column 1');
  only = varnholt.analyze([a b], 'Fs', fs, 'Metrics', 'loudness', 'Channel', 2);
  check(numel(only) == 1 && only.channel == 2, 'Channel 2 alone');
  check_same(only.loudness.N, one.loudness.N, 'N of Channel 2');
end

function channel_error_is_a_field()
  fs = 48000;
  a = sine(1000, 60, 1, fs);
  b = a;
  b(10) = Inf;
  c = varnholt.analyze([a b], 'Fs', fs, 'Metrics', 'loudness');
  check(isempty(c(1).error) && ~isempty(c(2).error), 'errors: "%s", "%s"', c(1).error, ...
        c(2).error);
  check(c(2).status == 5, 'status of channel 2: %d', c(2).status);
  s = varnholt.analyze(a(1:4800), 'Fs', fs, 'Metrics', 'loudness,ecma-roughness');
  check(isempty(s.ecma_roughness) && ~isempty(s.errors.ecma_roughness) && isstruct(s.loudness), ...
        'a failed metric beside one that succeeded');
end

function rate_44k1_is_resampled()
  r = varnholt.loudness(sine(1000, 40, 1, 44100), 44100);
  check_near(r.N, 1, 0.01, 'N at 44.1 kHz');
  c = varnholt.analyze(sine(1000, 40, 1, 44100), 'Fs', 44100, 'Metrics', 'loudness');
  check_same(c.loudness.N, r.N, 'N through analyze');
  check(c.samples == 48000, '1 s at 44.1 kHz: %d samples at 48 kHz', c.samples);
end

function pcm_and_single_input()
  fs = 48000;
  x = int16(round(0.25 * 32767 * sin(2 * pi * 1000 * (0:fs - 1).' / fs)));
  N = @(v) getfield(varnholt.loudness(v, fs), 'N');
  check_same(N(x), N(double(x) / 32768), 'int16');
  check_same(N(int32(x) * 65536), N(double(x) / 32768), 'int32');
  s = single(double(x) / 32768);
  check_same(N(s), N(double(s)), 'single');
  check_same(N(s.'), N(s), 'a row vector');
  c = varnholt.analyze([x x], 'Fs', fs, 'Metrics', 'levels');
  check(numel(c) == 2, 'int16 matrix: %d channels', numel(c));
end

function calibration_options()
  fs = 48000;
  x = sin(2 * pi * 1000 * (0:fs - 1).' / fs);
  one = varnholt.analyze(x, 'Fs', fs, 'Metrics', 'levels');
  two = varnholt.analyze(x, 'Fs', fs, 'Metrics', 'levels', 'Calibration', 2);
  check_same(two.rms_pa, 2 * one.rms_pa, 'rms_pa at 2 Pa per unit');
  % A full-scale sine at 100 dB SPL: this one is full scale.
  full = varnholt.analyze(x, 'Fs', fs, 'Metrics', 'levels', ...
                          'Calibration', struct('full_scale_spl', 100));
  check(abs(full.levels.LZeq - 100) < 0.05, 'LZeq of full scale at 100 dB: %.3f', ...
        full.levels.LZeq);
  span = varnholt.analyze(x, 'Fs', fs, 'Metrics', 'levels', 'Start', 0.25, 'Duration', 0.5, ...
                          'RemoveDC', true, 'Field', 'diffuse', 'Jobs', 1);
  check(span.samples == 24000 && span.dc_removed == 1, 'span: %d samples', span.samples);
end

function units_and_axes()
  x = sine(1000, 60, 1, 48000);
  r = varnholt.ecma_tonality(x);
  check(numel(r.band) == 53 && numel(r.band_hz) == 53, 'the 53 hearing-model bands');
  check(isequal(size(r.specific_tonality), [numel(r.time), 53]), 'frames x bands');
  check(strcmp(r.units.time, 's') && strcmp(r.units.f_T_max, 'Hz') && ...
        strcmp(r.units.band, 'Bark_HMS'), 'units of ecma_tonality');
  check(abs(r.f_T_max - 1000) < 20, 'f_T_max = %g Hz', r.f_T_max);
  n = varnholt.loudness_time(x);
  check(isequal(size(n.specific_loudness), [numel(n.time), 240]), 'N''(t): frames x 240');
  check(numel(n.loudness) == numel(n.time) && isfinite(n.N5), 'N(t) and N5');
  l = varnholt.levels(x);
  check(abs(l.LZeq - 60) < 0.05 && numel(l.frequency) == 28, 'levels of a 60 dB tone');
  % Nothing is tonal in silence: the tonal frequency is missing (NaN).
  q = varnholt.ecma_tonality(zeros(48000, 1));
  check(isnan(q.f_T_max) && q.T_max == 0, 'silence: f_T_max %g, T_max %g', q.f_T_max, q.T_max);
end

function sharpness_per_frame()
  x = sine(1000, 60, 1, 48000);
  s = varnholt.sharpness(x);
  n = varnholt.loudness_time(x);
  check(numel(s.sharpness) == numel(n.time) && strcmp(s.units.sharpness, 'acum'), 'S(t)');
  last = n.specific_loudness(end, :);
  check_same(s.sharpness(end), varnholt_mex('sharpness_din', last), 'S of the last frame');
  check(abs(s.sharpness(end) - s.S) < 0.05 * s.S, 'S(t) %.4g against S %.4g', ...
        s.sharpness(end), s.S);
  % The analysis layer's S is the C export's on the stationary pattern.
  l = varnholt.loudness(x);
  check_same(s.S, varnholt_mex('sharpness_din', l.specific_loudness(:).'), ...
             'S against vh_sharpness_din');
end

% ---- plots ----

function plot_draws_headless()
  if any(strcmp(available_graphics_toolkits(), 'gnuplot'))
    graphics_toolkit('gnuplot');
    device = '-dpngcairo';
  else
    graphics_toolkit('fltk');
    device = '-dpng';
  end
  fs = 48000;
  x = am_tone(1000, 70, 60, 1, fs);
  png = [tempname() '.png'];
  cleanup = onCleanup(@() delete(png));
  f = figure('visible', 'off', 'position', [0 0 640 480]);
  ax = varnholt.plot(varnholt.ecma_roughness(x, fs));
  check(numel(ax) == 2, 'ecma_roughness: %d axes, expected 2', numel(ax));
  print(f, device, '-r72', png);
  close(f);
  info = dir(png);
  check(numel(info) == 1 && info.bytes > 1000, 'the PNG is empty');
  f = figure('visible', 'off');
  ax = varnholt.plot(varnholt.analyze([x x], 'Fs', fs, 'Bands', true));
  close(f);
  check(numel(ax) == 2 * 11, 'two channels of every metric: %d axes', numel(ax));
end
