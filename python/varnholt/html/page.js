"use strict";
// The page of one sound file: the sound in an <audio> element, every time
// series and per-band image of each channel on panels that share one time
// view (zoom and pan move all of them), a cursor that follows playback, and
// a click on any time panel that seeks the sound there.
(function () {
  const { el, fmt } = window.varnholtDom;
  const started = performance.now();
  const data = JSON.parse(document.getElementById("vh-data").textContent);
  const main = document.getElementById("vh-main");
  const header = document.getElementById("vh-header");
  const duration = data.duration_s > 0 ? data.duration_s : 1;
  const MIN_SPAN_S = 0.01;
  const BAR_MARGIN = 1.26; // a third of an octave either side of the outer bands
  // Every time panel keeps room for a right-hand axis (tick labels and the
  // axis label), so that the time axes of all panels line up.
  const AXIS_TICKS_PX = 60;
  const AXIS_LABEL_PX = 24;
  const RIGHT_AXIS_PX = AXIS_TICKS_PX + AXIS_LABEL_PX;
  // Frequencies labelled on the Hz axis of the ECMA-418-2 band images: about
  // evenly spread over the band axis, which is close to logarithmic above 500 Hz.
  const NICE_HZ = [100, 300, 1000, 3000, 10000];
  const COLOURS = ["#1f77b4", "#d62728", "#2ca02c", "#9467bd"];
  const MARK_COLOUR = "#ff7f0e";
  const view = { min: 0, max: duration };
  const timings = [];
  const timePlots = [];
  const otherPlots = [];
  const lut = hexColours(data.colours);
  let position = 0;
  let audio = null;
  let loopView = null;
  let drawing = false;

  // ---- small helpers -----------------------------------------------------


  function withUnit(v, unit) {
    const s = fmt(v);
    return unit && s !== "–" ? s + " " + unit : s;
  }

  function quantity(label, unit) {
    return unit ? label + " in " + unit : label;
  }

  function seconds(t) {
    return t == null ? "–" : t.toFixed(3) + " s";
  }

  function hexColours(hex) {
    const out = new Uint8Array(hex.length / 2);
    for (let i = 0; i < out.length; i++) out[i] = parseInt(hex.substr(2 * i, 2), 16);
    return out;
  }

  function decodeBase64(text) {
    const raw = atob(text);
    const out = new Uint8Array(raw.length);
    for (let i = 0; i < raw.length; i++) out[i] = raw.charCodeAt(i);
    return out;
  }

  // Band centre frequency of a position on the ECMA-418-2 band axis:
  // 81.9289 / 0.1618 * sinh(0.1618 z) Hz at z Bark_HMS (as the package's
  // results module defines the 53 band centres).
  function barkHmsToHz(z) {
    return 81.9289 / 0.1618 * Math.sinh(0.1618 * z);
  }

  function hzToBarkHms(f) {
    return Math.asinh(f * 0.1618 / 81.9289) / 0.1618;
  }

  // The width of a panel: that of the page's content box.
  function plotWidth() {
    const style = getComputedStyle(main);
    const inner = main.clientWidth - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight);
    return Math.max(320, Math.floor(inner));
  }

  // ---- the shared time view ------------------------------------------------
  function setView(a, b) {
    let span = Math.max(b - a, MIN_SPAN_S);
    span = Math.min(span, duration);
    let lo = Math.max(0, Math.min(a, duration - span));
    const hi = lo + span;
    const t0 = performance.now();
    view.min = lo;
    view.max = hi;
    for (const p of timePlots) p.u.batch(() => p.u.setScale("x", { min: lo, max: hi }));
    timings.push({ what: "zoom", ms: performance.now() - t0, panels: timePlots.length,
                   span_s: span });
    viewReadout.textContent = "showing " + seconds(lo) + " – " + seconds(hi) +
      " of " + seconds(duration);
    placePlayheads();
  }

  function zoomAround(t, factor) {
    setView(t - (t - view.min) * factor, t + (view.max - t) * factor);
  }

  function pan(fraction) {
    const d = (view.max - view.min) * fraction;
    setView(view.min + d, view.max + d);
  }

  // ---- playback ------------------------------------------------------------
  function currentPosition() {
    return audio ? audio.currentTime - data.audio.offset_s : position;
  }

  function seek(t) {
    position = Math.max(0, Math.min(duration, t));
    if (audio) audio.currentTime = position + data.audio.offset_s;
    placePlayheads();
  }

  function placePlayheads() {
    const t = currentPosition();
    for (const p of timePlots) {
      const inside = t >= view.min && t <= view.max;
      p.playhead.style.display = inside ? "block" : "none";
      if (inside) p.playhead.style.left = p.u.valToPos(t, "x") + "px";
    }
  }

  function animate() {
    if (!audio || audio.paused) {
      drawing = false;
      placePlayheads();
      return;
    }
    if (loopView.checked && currentPosition() >= view.max) seek(view.min);
    placePlayheads();
    requestAnimationFrame(animate);
  }

  // ---- panels --------------------------------------------------------------
  function cursorOptions() {
    return {
      sync: { key: "vh-time", setSeries: false, scales: ["x", null],
              filters: { pub: (type) => type === "mousemove" || type === "mouseenter" ||
                                        type === "mouseleave" } },
      drag: { x: true, y: false, setScale: false },
      bind: { dblclick: () => null },
      y: false, // one time cursor across panels; a value line would mean nothing on the others
    };
  }

  // Drag selects a time span and zooms every panel to it; a click without a
  // drag seeks; Ctrl + wheel zooms around the pointer, Shift + wheel pans;
  // a double click shows the whole recording again.
  function interactions(u) {
    const over = u.over;
    let down = null;
    over.addEventListener("mousedown", (e) => { down = e.button === 0 ? e.clientX : null; });
    over.addEventListener("click", (e) => {
      if (down == null || Math.abs(e.clientX - down) > 3) return;
      seek(u.posToVal(e.clientX - over.getBoundingClientRect().left, "x"));
    });
    over.addEventListener("dblclick", () => setView(0, duration));
    over.addEventListener("wheel", (e) => {
      if (!e.ctrlKey && !e.metaKey && !e.shiftKey) return;
      e.preventDefault();
      if (e.shiftKey) {
        pan(Math.sign(e.deltaY || e.deltaX) * 0.1);
      } else {
        const t = u.posToVal(e.clientX - over.getBoundingClientRect().left, "x");
        zoomAround(t, e.deltaY > 0 ? 1.25 : 0.8);
      }
    }, { passive: false });
    const playhead = el("div", { className: "vh-playhead" });
    over.append(playhead);
    return playhead;
  }

  function selectHook(u) {
    const s = u.select;
    if (s.width > 3) {
      setView(u.posToVal(s.left, "x"), u.posToVal(s.left + s.width, "x"));
    }
    if (s.width > 0) u.setSelect({ left: 0, top: 0, width: 0, height: 0 }, false);
  }

  function paddedRange(extra) {
    return (u, lo, hi) => {
      if (extra != null) {
        lo = lo == null ? extra : Math.min(lo, extra);
        hi = hi == null ? extra : Math.max(hi, extra);
      }
      if (lo == null || hi == null) return [0, 1];
      const pad = (hi - lo) * 0.06 || Math.abs(hi) * 0.06 || 1;
      return [lo - pad, hi + pad];
    };
  }

  function seriesPanel(ch, panel, box) {
    const right = panel.series.filter((s) => s.axis === "y2");
    const left = panel.series.filter((s) => s.axis !== "y2");
    const mark = panel.mark;
    const scales = {
      x: { time: false, range: () => [view.min, view.max] },
      y: { range: paddedRange(mark ? mark.value : null) },
    };
    const axes = [
      { label: "time in s" },
      { scale: "y", label: left.map((s) => quantity(s.label, s.unit)).join(", "), size: 64 },
    ];
    if (right.length) {
      scales.y2 = { range: paddedRange(null) };
      axes.push({ scale: "y2", side: 1, size: AXIS_TICKS_PX, labelSize: AXIS_LABEL_PX,
                  grid: { show: false },
                  label: right.map((s) => quantity(s.label, s.unit)).join(", ") });
    }
    const series = [{ label: "time", value: (u, v) => seconds(v) }];
    panel.series.forEach((s, i) => {
      const colour = COLOURS[i % COLOURS.length];
      const opts = { label: s.label, scale: s.axis === "y2" ? "y2" : "y", stroke: colour,
                     width: 1.25, value: (u, v) => withUnit(v, s.unit) };
      if (s.points) {
        opts.paths = () => null;
        opts.points = { show: true, size: 3, width: 0, fill: colour, stroke: colour };
      } else {
        opts.points = { show: false };
      }
      series.push(opts);
    });
    const hooks = { setSelect: [selectHook] };
    if (mark) {
      hooks.draw = [(u) => {
        const y = u.valToPos(mark.value, "y", true);
        const { left: x0, width } = u.bbox;
        const ctx = u.ctx;
        ctx.save();
        ctx.strokeStyle = MARK_COLOUR;
        ctx.setLineDash([6 * devicePixelRatio, 4 * devicePixelRatio]);
        ctx.lineWidth = devicePixelRatio;
        ctx.beginPath();
        ctx.moveTo(x0, y);
        ctx.lineTo(x0 + width, y);
        ctx.stroke();
        ctx.fillStyle = MARK_COLOUR;
        ctx.font = 11 * devicePixelRatio + "px sans-serif";
        ctx.textAlign = "right";
        ctx.fillText(mark.label + " = " + withUnit(mark.value, mark.unit),
                     x0 + width - 6 * devicePixelRatio, y - 4 * devicePixelRatio);
        ctx.restore();
      }];
    }
    const opts = { width: plotWidth(), height: 190, scales, axes, series, hooks,
                   cursor: cursorOptions(), legend: { live: true },
                   padding: [12, right.length ? 0 : RIGHT_AXIS_PX, 0, 0] };
    const u = new uPlot(opts, [panel.t].concat(panel.series.map((s) => s.v)), box);
    timePlots.push({ u, panel, channel: ch.channel, playhead: interactions(u) });
  }

  function planeCanvas(panel, plane) {
    const cols = plane.columns;
    const rows = panel.bands;
    const codes = decodeBase64(plane.codes);
    const canvas = document.createElement("canvas");
    canvas.width = cols;
    canvas.height = rows;
    const ctx = canvas.getContext("2d");
    const img = ctx.createImageData(cols, rows);
    const px = img.data;
    for (let b = 0; b < rows; b++) {
      const row = rows - 1 - b; // the highest band at the top
      for (let i = 0; i < cols; i++) {
        const q = codes[b * cols + i];
        const o = (row * cols + i) * 4;
        if (q === data.image_missing) continue; // transparent: no value
        px[o] = lut[3 * q];
        px[o + 1] = lut[3 * q + 1];
        px[o + 2] = lut[3 * q + 2];
        px[o + 3] = 255;
      }
    }
    ctx.putImageData(img, 0, 0);
    return { canvas, codes };
  }

  function colourScale(plane) {
    const bar = el("canvas", { width: 160, height: 1 });
    const ctx = bar.getContext("2d");
    const img = ctx.createImageData(160, 1);
    for (let i = 0; i < 160; i++) {
      const q = Math.round(i / 159 * data.image_levels);
      img.data.set([lut[3 * q], lut[3 * q + 1], lut[3 * q + 2], 255], 4 * i);
    }
    ctx.putImageData(img, 0, 0);
    return el("span", { className: "vh-scale" }, [
      el("span", { text: fmt(plane.lo) }), bar,
      el("span", { text: withUnit(plane.hi, plane.unit) })]);
  }

  function imagePanel(ch, panel, box, head) {
    const state = { plane: panel.planes[0], image: planeCanvas(panel, panel.planes[0]),
                    hovered: false };
    const z0 = panel.z0 - panel.dz / 2;
    const z1 = panel.z0 + panel.dz * (panel.bands - 0.5);
    const scaleBox = el("span", {}, [colourScale(state.plane)]);
    const readout = el("div", { className: "vh-readout" });
    if (panel.planes.length > 1) {
      const pick = el("select", { "aria-label": "quantity shown" },
        panel.planes.map((p, i) => el("option", { value: String(i), text: p.label })));
      pick.addEventListener("change", () => {
        state.plane = panel.planes[Number(pick.value)];
        state.image = planeCanvas(panel, state.plane);
        scaleBox.replaceChildren(colourScale(state.plane));
        u.redraw(false, false);
      });
      head.append(pick);
    }
    head.append(scaleBox);
    const axisName = quantity(panel.axis_label, panel.axis_unit);
    const axes = [{ label: "time in s" },
                  { scale: "y", label: axisName, size: 64, grid: { show: false } }];
    if (panel.hz_axis) {
      axes.push({ scale: "y", side: 1, size: AXIS_TICKS_PX, labelSize: AXIS_LABEL_PX,
                  grid: { show: false }, label: "band centre in Hz",
                  splits: () => NICE_HZ.map(hzToBarkHms).filter((z) => z >= z0 && z <= z1),
                  values: (u, splits) => splits.map((z) => fmt(barkHmsToHz(z))) });
    }
    const hooks = {
      setSelect: [selectHook],
      drawClear: [(u) => {
        const ctx = u.ctx;
        const { left, top, width, height } = u.bbox;
        ctx.save();
        ctx.fillStyle = "#e6e6e6"; // where a band has no value
        ctx.fillRect(left, top, width, height);
        const cols = state.image.canvas.width;
        const a = Math.max(u.scales.x.min, panel.t0);
        const b = Math.min(u.scales.x.max, panel.t1);
        if (b > a) {
          const sx0 = (a - panel.t0) / (panel.t1 - panel.t0) * cols;
          const sx1 = (b - panel.t0) / (panel.t1 - panel.t0) * cols;
          const dx0 = u.valToPos(a, "x", true);
          const dx1 = u.valToPos(b, "x", true);
          ctx.imageSmoothingEnabled = false;
          ctx.drawImage(state.image.canvas, sx0, 0, sx1 - sx0, panel.bands,
                        dx0, top, dx1 - dx0, height);
        }
        ctx.restore();
      }],
      setCursor: [(u) => {
        const { left, top } = u.cursor;
        if (left == null || left < 0) { readout.textContent = ""; return; }
        const t = u.posToVal(left, "x");
        let text = "t = " + seconds(t);
        if (state.hovered && top != null && top >= 0) {
          const z = u.posToVal(top, "y");
          const band = Math.round((z - panel.z0) / panel.dz);
          const col = Math.floor((t - panel.t0) / (panel.t1 - panel.t0) * state.plane.columns);
          if (band >= 0 && band < panel.bands && col >= 0 && col < state.plane.columns) {
            const zb = panel.z0 + band * panel.dz;
            text += ", " + withUnit(zb, panel.axis_unit);
            if (panel.hz_axis) text += " (" + fmt(barkHmsToHz(zb)) + " Hz)";
            const q = state.image.codes[band * state.plane.columns + col];
            text += ", " + state.plane.label + " " + (q === data.image_missing ? "none"
              : "≈ " + withUnit(state.plane.lo + q / data.image_levels *
                                (state.plane.hi - state.plane.lo), state.plane.unit));
          }
        }
        readout.textContent = text;
      }],
    };
    const opts = {
      width: plotWidth(), height: 210, axes, hooks, cursor: cursorOptions(),
      legend: { show: false }, padding: [12, panel.hz_axis ? 0 : RIGHT_AXIS_PX, 0, 0],
      scales: { x: { time: false, range: () => [view.min, view.max] },
                y: { auto: false, range: [z0, z1] } },
      series: [{}, { label: state.plane.label, stroke: "transparent", paths: () => null,
                     points: { show: false } }],
    };
    const u = new uPlot(opts, [[panel.t0, panel.t1], [null, null]], box);
    u.over.addEventListener("mouseenter", () => { state.hovered = true; });
    u.over.addEventListener("mouseleave", () => { state.hovered = false; });
    box.append(readout);
    timePlots.push({ u, panel, channel: ch.channel, playhead: interactions(u), state });
  }

  function spectrumPanel(ch, panel, box) {
    const series = [{ label: panel.x_label, value: (u, v) => withUnit(v, panel.x_unit) },
                    { label: panel.y_label, stroke: COLOURS[0], width: 1.25,
                      fill: panel.bars ? "rgba(31,119,180,0.55)" : undefined,
                      value: (u, v) => withUnit(v, panel.y_unit),
                      paths: panel.bars ? uPlot.paths.bars({ size: [0.8, 40] }) : undefined,
                      points: { show: false } }];
    const opts = {
      width: plotWidth(), height: 190, series,
      scales: { x: panel.bars
                  ? { time: false, distr: 3,
                      range: (u, lo, hi) => [lo / BAR_MARGIN, hi * BAR_MARGIN] }
                  : { time: false },
                y: { range: paddedRange(null) } },
      axes: [{ label: quantity(panel.x_label, panel.x_unit) },
             { label: quantity(panel.y_label, panel.y_unit), size: 64 }],
      legend: { live: true }, padding: [12, RIGHT_AXIS_PX, 0, 0],
    };
    otherPlots.push(new uPlot(opts, [panel.x, panel.y], box));
  }

  // ---- the page ------------------------------------------------------------
  const file = data.format ? data.format : "";
  const facts = [data.path];
  if (file) facts.push(file);
  if (data.sample_rate_hz) {
    facts.push(data.sample_rate_hz + " Hz" + (data.resampled ? ", analysed at 48000 Hz" : ""));
  }
  facts.push(seconds(data.duration_s) + (data.start_s ? " from " + seconds(data.start_s) : ""));
  header.append(el("p", { className: "vh-sub", text: facts.join(" · ") }));

  const bar = el("div", { className: "vh-bar" });
  main.append(bar);
  if (data.audio.src) {
    audio = el("audio", { controls: "", preload: "auto", src: data.audio.src });
    bar.append(audio);
    audio.addEventListener("play", () => {
      if (!drawing) { drawing = true; requestAnimationFrame(animate); }
    });
    for (const ev of ["pause", "seeked", "ended", "timeupdate"]) {
      audio.addEventListener(ev, placePlayheads);
    }
  }
  loopView = el("input", { type: "checkbox", id: "vh-loop" });
  bar.append(el("label", {}, [loopView, " loop the shown span"]));
  const whole = el("button", { type: "button", text: "whole recording" });
  whole.addEventListener("click", () => setView(0, duration));
  bar.append(whole);
  const viewReadout = el("span", { className: "vh-view" });
  bar.append(viewReadout);
  const nav = el("span", { className: "vh-nav" });
  const links = data.links || {};
  if (links.index) nav.append(el("a", { href: links.index, text: "all files" }));
  if (links.previous) nav.append(el("a", { href: links.previous, text: "previous" }));
  if (links.next) nav.append(el("a", { href: links.next, text: "next" }));
  if (data.exact_href) {
    nav.append(el("a", { href: data.exact_href, download: "", text: "exact time series (JSON)" }));
  } else if (data.exact) {
    const save = el("button", { type: "button", text: "save the exact time series (JSON)" });
    save.addEventListener("click", () => {
      const blob = new Blob([JSON.stringify(data.exact)], { type: "application/json" });
      const a = el("a", { href: URL.createObjectURL(blob), download: "series.json" });
      a.click();
      setTimeout(() => URL.revokeObjectURL(a.href), 1000);
    });
    nav.append(save);
  }
  bar.append(nav);
  main.append(el("p", { className: "vh-note", text: data.audio.note }));
  main.append(el("p", { className: "vh-help", text:
    "Drag across a time panel to zoom every panel; Ctrl + wheel zooms, Shift + wheel pans, " +
    "a double click shows the whole recording. A click plays from there (space: play or pause)." }));

  for (const ch of data.channels) {
    const section = el("section", { className: "vh-channel" });
    main.append(section);
    const title = ch.channel >= 1 ? "channel " + ch.channel : "file";
    const level = ch.level_db_spl == null ? "" : ": " + fmt(ch.level_db_spl) + " dB SPL (RMS)";
    section.append(el("h2", { text: title + level }));
    const facts = ["calibration: " + ch.calibration, ch.field + " field"];
    if (ch.peak_pa != null) facts.push("peak " + withUnit(ch.peak_pa, "Pa"));
    if (ch.dc_offset_pa != null) facts.push("DC offset " + withUnit(ch.dc_offset_pa, "Pa"));
    section.append(el("p", { className: "vh-sub", text: facts.join(" · ") }));
    if (ch.warnings.length) {
      section.append(el("ul", { className: "vh-warnings" },
        ch.warnings.map((w) => el("li", { text: "warning: " + w }))));
    }
    const errors = (ch.error ? [ch.error] : []).concat(
      Object.keys(ch.errors).map((m) => m + ": failed: " + ch.errors[m]));
    if (errors.length) {
      section.append(el("ul", { className: "vh-errors" },
        errors.map((e) => el("li", { text: e }))));
    }
    if (ch.values.length) {
      const groups = el("div", { className: "vh-valuegrid" });
      section.append(el("details", { className: "vh-single", open: "" }, [
        el("summary", { text: "single values (" + ch.values.length + ")" }), groups]));
      let table = null;
      let metric = null;
      for (const v of ch.values) {
        if (v.metric !== metric) {
          metric = v.metric;
          table = el("table", { className: "vh-values" });
          table.append(el("tr", {}, [el("th", { className: "vh-metric", colspan: "3",
                                                text: metric })]));
          groups.append(table);
        }
        table.append(el("tr", { title: v.definition }, [
          el("td", { text: v.symbol }),
          el("td", { className: "num", text: fmt(v.value) }),
          el("td", { text: v.unit })]));
      }
    }
    for (const panel of ch.panels.concat(ch.spectra)) {
      const box = el("div", { className: "vh-panel" });
      const head = el("div", { className: "vh-panel-head" }, [
        el("h3", { text: panel.title }), el("span", { className: "vh-method", text: panel.method || "" })]);
      box.append(head);
      if (panel.reduced) {
        head.append(el("span", { className: "vh-reduced", text: "drawn as the min/max of " +
          panel.frames + " frames in " + panel.t.length + " points" }));
      }
      section.append(box);
      if (panel.kind === "series") seriesPanel(ch, panel, box);
      else if (panel.kind === "image") imagePanel(ch, panel, box, head);
      else spectrumPanel(ch, panel, box);
    }
  }

  document.addEventListener("keydown", (e) => {
    const tag = (e.target && e.target.tagName) || "";
    if (/^(INPUT|SELECT|TEXTAREA|BUTTON|AUDIO)$/.test(tag) || e.ctrlKey || e.metaKey) return;
    if (e.key === " " && audio) {
      e.preventDefault();
      if (audio.paused) audio.play(); else audio.pause();
    } else if (e.key === "+" || e.key === "=") {
      zoomAround(Math.min(Math.max(currentPosition(), view.min), view.max), 0.5);
    } else if (e.key === "-") {
      zoomAround((view.min + view.max) / 2, 2);
    } else if (e.key === "ArrowLeft") {
      pan(-0.25);
    } else if (e.key === "ArrowRight") {
      pan(0.25);
    } else if (e.key === "0") {
      setView(0, duration);
    }
  });

  window.addEventListener("resize", () => {
    const w = plotWidth();
    for (const p of timePlots) p.u.setSize({ width: w, height: p.u.height });
    for (const u of otherPlots) u.setSize({ width: w, height: u.height });
    placePlayheads();
  });

  setView(0, duration);
  timings.push({ what: "render", ms: performance.now() - started, panels: timePlots.length });

  // Read back by the tests and the benchmark: the data each panel holds,
  // the view, the playback position and the timings of zoom steps.
  window.varnholtPage = {
    data, view, timings,
    setView, seek, position: currentPosition,
    panels: () => timePlots.map((p) => ({
      channel: p.channel, kind: p.panel.kind, metric: p.panel.metric,
      attrs: p.panel.kind === "series" ? p.panel.series.map((s) => s.attr)
        : p.panel.planes.map((q) => q.attr),
      data: p.u.data })),
    playheads: () => timePlots.map((p) => p.playhead.style.display === "none" ? null
      : parseFloat(p.playhead.style.left)),
    plane: (i) => {
      const p = timePlots[i];
      return Array.from(p.state.image.codes);
    },
    overs: () => timePlots.map((p) => p.u.over),
    scales: () => timePlots.map((p) => [p.u.scales.x.min, p.u.scales.x.max]),
  };
})();
