"use strict";
// Small DOM helpers shared by the report's pages: elements built with their
// text set as text (never parsed as HTML), SVG elements, and numbers shown
// with four significant digits ("–" where there is no value).
(function () {
  const SVG = "http://www.w3.org/2000/svg";

  function el(tag, attrs, children) {
    const e = document.createElement(tag);
    for (const k in attrs || {}) {
      if (k === "text") e.textContent = attrs[k];
      else if (k === "className") e.className = attrs[k];
      else e.setAttribute(k, attrs[k]);
    }
    for (const c of children || []) e.append(c);
    return e;
  }

  function svg(tag, attrs, children) {
    const e = document.createElementNS(SVG, tag);
    for (const k in attrs || {}) e.setAttribute(k, attrs[k]);
    for (const c of children || []) e.append(c);
    return e;
  }

  function fmt(v) {
    if (v == null || !isFinite(v)) return "–";
    const a = Math.abs(v);
    if (a !== 0 && (a >= 1e5 || a < 1e-3)) return v.toExponential(3);
    return String(Number(v.toPrecision(4)));
  }

  window.varnholtDom = { el, svg, fmt };
})();
