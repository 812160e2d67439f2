"use strict";
// The index of a batch: every file and channel with its single values,
// sortable by any column, and a scatter plot of any two of them whose points
// lead to the pages.
(function () {
  const { el, svg, fmt } = window.varnholtDom;
  const data = JSON.parse(document.getElementById("vh-data").textContent);
  const main = document.getElementById("vh-main");
  const header = document.getElementById("vh-header");




  // Every column of the table: what it shows, how it sorts.
  const columns = [
    { id: "file", label: "file", text: true, get: (r) => r.file },
    { id: "channel", label: "channel", get: (r) => r.channel },
    { id: "status", label: "status", text: true, get: (r) => r.status },
    { id: "notes", label: "errors and warnings", text: true, wide: true,
      get: (r) => r.errors.concat(r.warnings.map((w) => "warning: " + w)).join("; ") },
    { id: "level", label: "level", unit: "dB SPL", title: "RMS level of the channel",
      get: (r) => r.level_db_spl },
  ];
  for (const c of data.columns) {
    columns.push({ id: c.key, label: c.symbol, metric: c.metric, unit: c.unit,
                   title: c.metric + ": " + c.definition, get: (r) => r.values[c.key] });
  }
  const numeric = columns.filter((c) => !c.text && c.id !== "channel");

  header.append(el("p", { className: "vh-sub", text: data.title }));

  // ---- the table -----------------------------------------------------------
  const table = el("table", { className: "vh-index", id: "vh-table" });
  const head = el("tr");
  const body = el("tbody");
  table.append(el("thead", {}, [head]), body);
  let sortBy = null;
  let ascending = true;
  for (const c of columns) {
    const th = el("th", { "data-column": c.id, title: c.title || "", scope: "col" });
    if (c.metric) th.append(el("small", { text: c.metric }));
    th.append(c.unit ? c.label + " [" + c.unit + "]" : c.label);
    th.addEventListener("click", () => {
      ascending = sortBy === c ? !ascending : true;
      sortBy = c;
      render();
    });
    head.append(th);
  }

  function compare(a, b) {
    const x = sortBy.get(a);
    const y = sortBy.get(b);
    // Missing values last, whichever the direction.
    if (x == null || y == null || x === "" || y === "") {
      return (x == null || x === "") - (y == null || y === "");
    }
    const d = sortBy.text ? String(x).localeCompare(String(y)) : x - y;
    return ascending ? d : -d;
  }

  function render() {
    const rows = data.rows.slice();
    if (sortBy) rows.sort(compare);
    for (const th of head.children) {
      th.setAttribute("aria-sort", sortBy && th.dataset.column === sortBy.id
        ? (ascending ? "ascending" : "descending") : "none");
    }
    body.replaceChildren(...rows.map((r) => {
      const tr = el("tr", { className: r.status === "failed" ? "failed" : "" });
      for (const c of columns) {
        const v = c.get(r);
        if (c.id === "file") {
          const cell = el("td", { title: r.path });
          cell.append(r.href ? el("a", { href: r.href, text: r.file }) : r.file);
          tr.append(cell);
        } else if (c.text) {
          tr.append(el("td", { className: c.wide ? "text" : "", text: v == null ? "" : String(v) }));
        } else {
          tr.append(el("td", { className: "num", text: c.id === "channel" ? (v == null ? "–" : String(v)) : fmt(v) }));
        }
      }
      return tr;
    }));
  }

  // ---- the scatter plot ----------------------------------------------------
  const W = 680, H = 440, M = { left: 70, right: 20, top: 16, bottom: 48 };
  const picks = {};
  const controls = el("div", { className: "vh-scatter-controls" });
  const plot = svg("svg", { class: "vh-scatter", width: W, height: H, viewBox: "0 0 " + W + " " + H,
                            role: "img", "aria-label": "scatter plot of two single values" });
  // What sound-quality work plots first: loudness against roughness or tonality.
  const PREFERRED = {
    x: ["loudness-time.n5", "loudness.loudness", "levels.laeq", "level"],
    y: ["roughness.roughness_mean", "ecma-roughness.roughness_p90", "ecma-tonality.tonality_mean",
        "tonality.tonality_mean", "sharpness.sharpness", "level"],
  };
  for (const axis of ["x", "y"]) {
    const select = el("select", { id: "vh-scatter-" + axis },
      numeric.map((c) => el("option", { value: c.id,
        text: (c.metric ? c.metric + " " : "") + c.label + (c.unit ? " [" + c.unit + "]" : "") })));
    const preferred = PREFERRED[axis].find((id) => numeric.some((c) => c.id === id));
    if (preferred) select.value = preferred;
    select.addEventListener("change", scatter);
    picks[axis] = select;
    controls.append(el("label", {}, [axis + ": ", select]));
  }

  function ticks(lo, hi, count) {
    const span = hi - lo || Math.abs(hi) || 1;
    const step0 = span / count;
    const mag = Math.pow(10, Math.floor(Math.log10(step0)));
    const step = [1, 2, 5, 10].map((m) => m * mag).find((s) => s >= step0);
    const out = [];
    for (let v = Math.ceil(lo / step) * step; v <= hi + step * 1e-9; v += step) out.push(v);
    return out;
  }

  function scatter() {
    const cx = columns.find((c) => c.id === picks.x.value);
    const cy = columns.find((c) => c.id === picks.y.value);
    plot.replaceChildren();
    if (!cx || !cy) return;
    const points = data.rows.filter((r) => cx.get(r) != null && cy.get(r) != null);
    const xs = points.map(cx.get), ys = points.map(cy.get);
    const range = (v) => {
      let lo = Math.min(...v), hi = Math.max(...v);
      const pad = (hi - lo) * 0.06 || Math.abs(hi) * 0.06 || 1;
      return [lo - pad, hi + pad];
    };
    const [x0, x1] = points.length ? range(xs) : [0, 1];
    const [y0, y1] = points.length ? range(ys) : [0, 1];
    const px = (v) => M.left + (v - x0) / (x1 - x0) * (W - M.left - M.right);
    const py = (v) => H - M.bottom - (v - y0) / (y1 - y0) * (H - M.top - M.bottom);
    for (const v of ticks(x0, x1, 6)) {
      plot.append(svg("line", { x1: px(v), x2: px(v), y1: M.top, y2: H - M.bottom }));
      plot.append(svg("text", { x: px(v), y: H - M.bottom + 16, "text-anchor": "middle" }, [fmt(v)]));
    }
    for (const v of ticks(y0, y1, 6)) {
      plot.append(svg("line", { x1: M.left, x2: W - M.right, y1: py(v), y2: py(v) }));
      plot.append(svg("text", { x: M.left - 6, y: py(v) + 4, "text-anchor": "end" }, [fmt(v)]));
    }
    const name = (c) => (c.metric ? c.metric + " " : "") + c.label + (c.unit ? " in " + c.unit : "");
    plot.append(svg("text", { x: (W + M.left) / 2, y: H - 10, "text-anchor": "middle" }, [name(cx)]));
    plot.append(svg("text", { x: 14, y: (H - M.bottom) / 2, "text-anchor": "middle",
                              transform: "rotate(-90 14 " + (H - M.bottom) / 2 + ")" }, [name(cy)]));
    points.forEach((r, i) => {
      const label = r.file + (r.channel ? ", channel " + r.channel : "") + ": " + fmt(xs[i]) +
        (cx.unit ? " " + cx.unit : "") + ", " + fmt(ys[i]) + (cy.unit ? " " + cy.unit : "");
      const dot = svg("circle", { cx: px(xs[i]), cy: py(ys[i]), r: 5 }, [svg("title", {}, [label])]);
      plot.append(r.href ? svg("a", { href: r.href }, [dot]) : dot);
    });
  }

  main.append(el("h2", { text: "Single values" }),
              el("p", { className: "vh-help", text: "Click a column heading to sort by it; " +
                        "click again to reverse. A file name opens its page." }),
              el("div", { className: "vh-table-wrap" }, [table]),
              el("h2", { text: "Two single values against each other" }),
              controls, plot);
  render();
  scatter();
  window.varnholtIndex = { data, sortBy: (id) => columns.find((c) => c.id === id) };
})();
