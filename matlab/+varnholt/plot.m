function ax = plot(result, varargin)
%PLOT  Draw results of the toolbox into the current figure.
%   AX = varnholt.plot(R) draws one metric's struct R (from varnholt.loudness,
%   varnholt.ecma_tonality, ...): a time series over time in s with its unit,
%   and for the metrics with per-band arrays over time (loudness_time,
%   ecma_tonality, ecma_roughness) an image of the bands over time with a
%   colour bar beneath it; levels as bars per third-octave band, a stationary
%   specific loudness over Bark. AX are the axes drawn, top to bottom.
%   AX = varnholt.plot(C) draws the channels of varnholt.analyze, a column
%   per channel, a row per panel of every metric that was computed.
%
%   Only plain plotting functions are used (plot, bar, imagesc, colorbar,
%   plotyy), so plots draw in MATLAB and in Octave, also without a display:
%     figure('visible', 'off'); varnholt.plot(r); print('-dpng', 'r.png')
%
%   Example: a 1 kHz tone at 60 dB SPL that starts after 0.5 s.
%     fs = 48000; t = (0:2*fs-1)' / fs;
%     x = sqrt(2) * 20e-6 * 10^(60/20) * sin(2*pi*1000*t) .* (t >= 0.5);
%     varnholt.plot(varnholt.ecma_tonality(x, fs))
  if ~isstruct(result) || isempty(result) || ~isempty(varargin)
    varnholt.internal.raise('invalidArgument', ...
      'plot: expected one result struct of the toolbox, or the channels of varnholt.analyze');
  end
  if isfield(result, 'metric')
    columns = {{result}};
    titles = {''};
  else
    columns = cell(1, numel(result));
    titles = cell(1, numel(result));
    for c = 1:numel(result)
      columns{c} = metric_results(result(c));
      titles{c} = sprintf('channel %d, %.1f dB SPL', result(c).channel, ...
                          20 * log10(max(result(c).rms_pa, realmin) / 20e-6));
    end
  end
  set(gcf, 'defaulttextinterpreter', 'none', 'defaultaxesticklabelinterpreter', 'none');
  rows = max(cellfun(@(list) sum(cellfun(@panel_count, list)), columns));
  ax = [];
  for c = 1:numel(columns)
    row = 0;
    for k = 1:numel(columns{c})
      r = columns{c}{k};
      n = panel_count(r);
      handles = [];
      for p = 1:n
        handles(end + 1) = subplot(rows, numel(columns), (row + p - 1) * numel(columns) + c); %#ok<AGROW>
      end
      draw(r, handles);
      if n > 1
        xlabel(handles(1), '');  % the image beneath shares the time axis
      end
      if row == 0 && ~isempty(titles{c})
        title(handles(1), sprintf('%s: %s', titles{c}, get(get(handles(1), 'title'), 'string')));
      end
      row = row + n;
      ax = [ax, handles]; %#ok<AGROW>
    end
  end
  if nargout == 0
    clear ax;  % nothing to print after a call without a semicolon
  end
end

function list = metric_results(channel)
  list = {};
  for name = fieldnames(channel).'
    v = channel.(name{1});
    if isstruct(v) && isfield(v, 'metric')
      list{end + 1} = v; %#ok<AGROW>
    end
  end
end

function n = panel_count(r)
  n = 1 + ~isempty(image_key(r));
end

% The per-band array over time a metric's image shows, '' for none.
function key = image_key(r)
  key = '';
  candidates = {'specific_loudness', 'specific_tonality', 'specific_roughness'};
  for k = 1:numel(candidates)
    if isfield(r, candidates{k}) && isfield(r, 'time') && ...
       size(r.(candidates{k}), 1) == numel(r.time) && numel(r.time) > 1
      key = candidates{k};
      return;
    end
  end
end

function draw(r, handles)
  axes(handles(1));
  top = handles(1);
  switch r.metric
    case 'levels'
      bar(1:numel(r.frequency), r.third_octave_levels);
      ticks = 1:3:numel(r.frequency);
      set(gca, 'xtick', ticks, 'xticklabel', ...
          arrayfun(@(f) sprintf('%g', f), r.frequency(ticks), 'uniformoutput', false));
      xlabel('third-octave band, Hz');
      ylabel(sprintf('level, %s', r.units.third_octave_levels));
      title(sprintf('LAeq %.1f, LCeq %.1f, LZeq %.1f, LAFmax %.1f, LASmax %.1f, LCpeak %.1f dB', ...
                    r.LAeq, r.LCeq, r.LZeq, r.LAFmax, r.LASmax, r.LCpeak));
    case 'loudness'
      plot(r.bark, r.specific_loudness);
      xlabel('critical-band rate, Bark');
      ylabel(sprintf('N'', %s', r.units.specific_loudness));
      title(sprintf('loudness N = %.3g %s (%s field)', r.N, r.units.N, r.field));
    case 'ecma-tonality'
      [a, ~, h2] = plotyy(r.time, r.tonality, r.time, r.tonal_frequency);
      top = a;
      xlabel(a(1), 'time, s');
      ylabel(a(1), sprintf('T(t), %s', r.units.tonality));
      ylabel(a(2), sprintf('tonal frequency, %s', r.units.tonal_frequency));
      set(h2, 'linestyle', 'none', 'marker', '.');
      title(a(2), sprintf('ECMA-418-2 tonality: T_max = %.3g %s at %.0f Hz', ...
                          r.T_max, r.units.T_max, r.f_T_max));
      set(a, 'xlim', time_limits(r.time));
    case 'sharpness'
      if isfield(r, 'sharpness')
        plot(r.time, r.sharpness);
        xlabel('time, s');
        ylabel(sprintf('S(t), %s', r.units.sharpness));
        xlim(time_limits(r.time));
      else
        axis off;
      end
      title(sprintf('sharpness: S = %.3g %s (%s field)', r.S, r.units.S, r.field));
    otherwise
      [key, label, summary] = main_series(r);
      plot(r.time, r.(key));
      xlabel('time, s');
      ylabel(strjoin([{label}, {r.units.(key)}(~isempty(r.units.(key)))], ', '));
      title(summary);
      xlim(time_limits(r.time));
  end
  key = image_key(r);
  if ~isempty(key)
    axes(handles(2));
    if isfield(r, 'bark')
      y = r.bark;
      ylab = 'critical-band rate, Bark';
    else
      y = r.band;
      ylab = sprintf('band, %s', r.units.band);
    end
    imagesc(r.time, y, r.(key).');
    axis xy;
    xlim(time_limits(r.time));
    xlabel('time, s');
    ylabel(ylab);
    cb = colorbar;
    ylabel(cb, r.units.(key));
    title(strrep(key, '_', ' '));
    % The colour bar narrows the image: the series above takes the same
    % width, so that both share one time axis.
    below = get(handles(2), 'position');
    for h = top(:).'
      p = get(h, 'position');
      p([1 3]) = below([1 3]);
      set(h, 'position', p);
    end
  end
end

function [key, label, summary] = main_series(r)
  switch r.metric
    case 'loudness-time'
      key = 'loudness'; label = 'N(t)';
      summary = sprintf('loudness: N5 = %.3g %s, N_max = %.3g %s (%s field)', ...
                        r.N5, r.units.N5, r.N_max, r.units.N_max, r.field);
    case 'roughness'
      key = 'roughness'; label = 'R(t)';
      summary = sprintf('roughness (Daniel & Weber): R_max = %.3g %s', r.R_max, r.units.R_max);
    case 'tonality'
      key = 'tonality'; label = 'K(t)';
      summary = sprintf('tonality (Aures): K_max = %.3g', r.K_max);
    case 'ecma-roughness'
      key = 'roughness'; label = 'R(t)';
      summary = sprintf('ECMA-418-2 roughness: R_p90 = %.3g %s', r.R_p90, r.units.R_p90);
    otherwise
      varnholt.internal.raise('invalidArgument', sprintf('plot: unknown metric ''%s''', r.metric));
  end
end

function lim = time_limits(t)
  if numel(t) > 1
    lim = [min(t), max(t)];
  else
    lim = [0, 1];
  end
end
