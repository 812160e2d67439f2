"""The interactive HTML report, written from synthetic sound files and read
in a real browser (headless Chromium through Selenium): it loads offline
without errors, its panels hold the result's own values, playback moves
the cursor, a click seeks, zoom is shared, the index sorts, and a hostile
file name stays text. A browser that does not start fails these tests."""

import base64
import io
import json
import os
import subprocess
import sys
import time
from dataclasses import replace
from pathlib import Path
from types import MappingProxyType

import numpy as np
import pytest
import soundfile

import varnholt
from varnholt import html_report

from conftest import RATE, am_tone, sine

CHROMIUM = os.environ.get("VARNHOLT_CHROMIUM", "/usr/bin/chromium")
CHROMEDRIVER = os.environ.get("VARNHOLT_CHROMEDRIVER", "/usr/bin/chromedriver")
VIEWPORT = (1280, 800)
HOSTILE = "<img src=x onerror=alert(1)>.wav"
SECONDS = 1.5
# A click lands on a whole CSS pixel; the position it seeks may differ from
# the one aimed at by that much, plus the audio clock's own granularity.
SEEK_TOLERANCE_PX = 1.5

# (metric, the arrays of one series panel) and (metric, the plane of one image panel)
SERIES = [("loudness-time", ("loudness",)), ("roughness", ("roughness",)), ("tonality", ("tonality",)),
          ("ecma-tonality", ("tonality", "tonal_frequency")), ("ecma-tonality", ("loudness",)),
          ("ecma-roughness", ("roughness",))]
IMAGES = [("loudness-time", "specific"), ("ecma-tonality", "specific_tonality"),
          ("ecma-roughness", "specific_roughness")]


def _with_missing_tonal_frequency(channel):
    """The channel with its tonal frequency missing (NaN) in the first third of
    the frames and f_T_max missing, as where no tonal component is present."""
    r = channel.results["ecma-tonality"]
    frequency = np.array(r.tonal_frequency)
    frequency[: frequency.size // 3] = np.nan
    values = tuple(replace(v, value=None) if v.symbol == "f_T_max" else v
                   for v in r.single_values)
    results = dict(channel.results)
    results["ecma-tonality"] = replace(r, tonal_frequency=frequency, single_values=values)
    return replace(channel, results=MappingProxyType(results))


@pytest.fixture(scope="module")
def site(tmp_path_factory):
    """Pages written from synthetic files: one page of a stereo take (a rough
    tone left, a plain tone right), and a folder with it, a file with a
    hostile name and a file that cannot be read."""
    root = tmp_path_factory.mktemp("html")
    take = root / "take.wav"
    left = am_tone(1000.0, 70.0, 70.0, SECONDS)
    right = np.concatenate([np.zeros(RATE // 2), sine(3000.0, 65.0, SECONDS - 0.5)])
    soundfile.write(take, np.stack([left, right], axis=1), RATE, subtype="FLOAT")
    hostile = root / HOSTILE
    soundfile.write(hostile, sine(500.0, 60.0, 0.8), RATE, subtype="PCM_16")
    broken = root / "broken.wav"
    broken.write_bytes(b"RIFF\x04\x00\x00\x00WAVE")
    channels = [_with_missing_tonal_frequency(c) for c in varnholt.analyze(take, bands=True)]
    page = Path(varnholt.report(channels, root / "take.html"))
    folder = root / "batch"
    out = subprocess.run(
        [sys.executable, "-m", "varnholt", "report", str(take), str(hostile), str(broken),
         "--metrics", "loudness-time,roughness", "-o", f"{folder}/"],
        capture_output=True, text=True, env=os.environ)
    assert out.returncode == 1, out.stderr  # the broken file fails, the others are written
    assert "broken.wav" in out.stderr
    return {"root": root, "page": page, "channels": channels, "folder": folder,
            "index": folder / "index.html",
            "hostile_page": folder / "img_src_x_onerror_alert_1.ch1.html"}


@pytest.fixture(scope="module")
def browser():
    try:
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service

        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                    "--autoplay-policy=no-user-gesture-required",
                    f"--window-size={VIEWPORT[0]},{VIEWPORT[1] + 200}"):
            options.add_argument(arg)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL", "performance": "ALL"})
        driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    except Exception as e:  # any reason at all: the browser tests cannot run
        pytest.fail(f"headless Chromium did not start ({type(e).__name__}: {e}); "
                    "scripts/install-deps.sh installs chromium, chromium-driver and "
                    "python3-selenium")
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
        "width": VIEWPORT[0], "height": VIEWPORT[1], "deviceScaleFactor": 1, "mobile": False})
    driver.set_script_timeout(20)
    yield driver
    driver.quit()


def open_page(driver, path):
    """Loads a page with empty logs, so that they hold only its own entries."""
    driver.get_log("browser")
    driver.get_log("performance")
    driver.get(path.as_uri())
    ready = "varnholtPage" if path.name != "index.html" else "varnholtIndex"
    for _ in range(100):
        if driver.execute_script(f"return window.{ready} !== undefined"):
            return
        time.sleep(0.05)
    raise AssertionError(f"{path.name}: the page script did not finish: "
                         f"{driver.get_log('browser')}")


def result_of(site, channel, metric):
    return site["channels"][channel - 1].results[metric]


def as_floats(values):
    return np.array([np.nan if v is None else v for v in values], dtype=np.float64)


@pytest.fixture(scope="module")
def panels(site, browser):
    open_page(browser, site["page"])
    return browser.execute_script("return varnholtPage.panels()")


@pytest.mark.parametrize("name", ["page", "index", "hostile_page"])
def test_page_loads_offline_without_console_errors(site, browser, name):
    open_page(browser, site[name])
    problems = [e for e in browser.get_log("browser") if e["level"] in ("SEVERE", "WARNING")]
    assert problems == []
    events = [json.loads(e["message"])["message"] for e in browser.get_log("performance")]
    requested = [e["params"]["request"]["url"] for e in events
                 if e["method"] == "Network.requestWillBeSent"]
    # The page itself, then only data: URIs (the audio, the media controls' icons).
    assert requested[0] == site[name].as_uri()
    assert [u for u in requested[1:] if not u.startswith("data:")] == []


@pytest.mark.parametrize("channel", [1, 2])
@pytest.mark.parametrize("metric,attrs", SERIES, ids=[f"{m}-{'+'.join(a)}" for m, a in SERIES])
def test_series_panels_hold_the_result_values(site, panels, channel, metric, attrs):
    drawn = [p for p in panels if p["channel"] == channel and p["metric"] == metric
             and tuple(p["attrs"]) == attrs]
    assert len(drawn) == 1
    r = result_of(site, channel, metric)
    # Short series are drawn frame by frame: every value as the result holds it.
    np.testing.assert_array_equal(as_floats(drawn[0]["data"][0]), r.time)
    for attr, values in zip(attrs, drawn[0]["data"][1:]):
        np.testing.assert_array_equal(as_floats(values), getattr(r, attr))


def test_missing_tonal_frequency_is_a_gap_and_no_value(site, panels, browser):
    r = result_of(site, 1, "ecma-tonality")
    drawn = next(p for p in panels if p["channel"] == 1 and "tonal_frequency" in p["attrs"])
    frequency = drawn["data"][2]
    assert frequency[: r.time.size // 3] == [None] * (r.time.size // 3)
    values = browser.execute_script("return varnholtPage.data.channels[0].values")
    f_t_max = next(v for v in values if v["metric"] == "ecma-tonality" and v["symbol"] == "f_T_max")
    assert f_t_max["value"] is None


@pytest.mark.parametrize("channel", [1, 2])
@pytest.mark.parametrize("metric,attr", IMAGES, ids=[m for m, _ in IMAGES])
def test_image_panels_hold_the_result_values(site, browser, panels, channel, metric, attr):
    index = next(i for i, p in enumerate(panels) if p["channel"] == channel
                 and p["metric"] == metric and p["kind"] == "image")
    model = browser.execute_script(
        "const ch = varnholtPage.data.channels[arguments[0] - 1];"
        "return ch.panels.filter(p => p.kind === 'image' && p.metric === arguments[1])[0];",
        channel, metric)
    plane = next(q for q in model["planes"] if q["attr"] == attr)
    expected = np.asarray(getattr(result_of(site, channel, metric), attr))
    assert plane["columns"] == expected.shape[0]  # short: one column per frame
    # The codes the page draws, decoded with the colour scale's range.
    codes = np.array(browser.execute_script("return varnholtPage.plane(arguments[0])", index),
                     dtype=np.uint8).reshape(model["bands"], plane["columns"]).T
    lo, hi = plane["lo"], plane["hi"]
    assert (lo, hi) == (np.nanmin(expected), np.nanmax(expected))
    shown = lo + codes / html_report.IMAGE_LEVELS * (hi - lo)
    np.testing.assert_allclose(shown, expected, rtol=0,
                               atol=0.5 * (hi - lo) / html_report.IMAGE_LEVELS * (1 + 1e-9))


def test_playback_moves_the_cursor_on_every_time_panel(site, browser):
    open_page(browser, site["page"])
    before = browser.execute_script("return varnholtPage.playheads()")
    moved = browser.execute_async_script("""
        const done = arguments[0];
        const audio = document.querySelector('audio');
        audio.play().then(() => {
          const wait = () => audio.currentTime > 0.4
            ? (audio.pause(), requestAnimationFrame(() => done(
                [audio.currentTime, varnholtPage.position(), varnholtPage.playheads()])))
            : setTimeout(wait, 20);
          wait();
        }, (e) => done(String(e)));""")
    assert isinstance(moved, list), moved
    now, position, after = moved
    assert position == pytest.approx(now)
    widths = browser.execute_script("return varnholtPage.panels().length")
    assert len(after) == widths == len(before)
    expected = browser.execute_script(
        "return varnholtPage.overs().map(o => o.getBoundingClientRect().width)")
    duration = browser.execute_script("return varnholtPage.data.duration_s")
    for b, a, width in zip(before, after, expected):
        assert b == pytest.approx(0.0, abs=1.0)
        assert a == pytest.approx(now / duration * width, abs=1.0)


def test_loop_keeps_playback_in_the_shown_span(site, browser):
    open_page(browser, site["page"])
    positions = browser.execute_async_script("""
        const done = arguments[0];
        const audio = document.querySelector('audio');
        document.getElementById('vh-loop').click();
        varnholtPage.setView(0.5, 0.8);
        varnholtPage.seek(0.5);
        const seen = [];
        audio.play().then(() => {
          const sample = () => {
            seen.push(varnholtPage.position());
            if (seen.length < 60) setTimeout(sample, 20); else { audio.pause(); done(seen); }
          };
          sample();
        }, (e) => done(String(e)));""")
    assert isinstance(positions, list), positions
    # 1.2 s of playing within a 0.3 s span: it went round, and never far past
    # its end (one animation frame late at most).
    assert max(positions) < 0.8 + 0.1
    assert any(b < a for a, b in zip(positions, positions[1:]))


def test_a_click_on_a_panel_seeks_the_sound_there(site, browser):
    from selenium.webdriver.common.action_chains import ActionChains

    open_page(browser, site["page"])
    over = browser.execute_script("return varnholtPage.overs()[3]")
    browser.execute_script("arguments[0].scrollIntoView({block: 'center'})", over)
    width = over.size["width"]
    # Selenium offsets from the element's centre: 0.7 of the way across.
    ActionChains(browser).move_to_element_with_offset(over, int(0.2 * width), 0).click().perform()
    duration = browser.execute_script("return varnholtPage.data.duration_s")
    time.sleep(0.2)
    sought = browser.execute_script("return document.querySelector('audio').currentTime")
    aimed = (width / 2 + int(0.2 * width)) / width * duration
    assert sought == pytest.approx(aimed, abs=SEEK_TOLERANCE_PX / width * duration + 0.03)


def test_zoom_on_one_panel_zooms_every_time_panel(site, browser):
    from selenium.webdriver.common.action_chains import ActionChains

    open_page(browser, site["page"])
    over = browser.execute_script("return varnholtPage.overs()[0]")
    browser.execute_script("arguments[0].scrollIntoView({block: 'center'})", over)
    width = over.size["width"]
    ActionChains(browser).move_to_element_with_offset(over, -width // 4, 0).click_and_hold() \
        .move_by_offset(width // 4, 0).release().perform()
    scales = browser.execute_script("return varnholtPage.scales()")
    duration = browser.execute_script("return varnholtPage.data.duration_s")
    lo, hi = browser.execute_script("return [varnholtPage.view.min, varnholtPage.view.max]")
    assert lo == pytest.approx(duration / 4, abs=2 / width * duration)
    assert hi == pytest.approx(duration / 2, abs=2 / width * duration)
    assert all(s == pytest.approx([lo, hi]) for s in scales)
    timings = browser.execute_script("return varnholtPage.timings")
    assert timings[-1]["what"] == "zoom" and timings[-1]["panels"] == len(scales)


@pytest.mark.parametrize("column", ["loudness-time.n5", "level", "channel"])
def test_index_table_sorts_both_ways_with_failures_last(site, browser, column):
    open_page(browser, site["index"])
    heading = browser.find_element("css selector", f'th[data-column="{column}"]')
    read = ("const c = varnholtIndex.sortBy(arguments[0]);"
            "return Array.from(document.querySelectorAll('#vh-table tbody tr'))"
            ".map(tr => varnholtIndex.data.rows.find(r =>"
            " r.file === tr.cells[0].textContent &&"
            " String(r.channel ?? '–') === tr.cells[1].textContent)).map(r => c.get(r));")
    for direction in ("ascending", "descending"):
        heading.click()
        assert heading.get_attribute("aria-sort") == direction
        keys = browser.execute_script(read, column)
        present = [k for k in keys if k not in (None, "")]
        assert keys[: len(present)] == present  # missing values (the failed file) last
        ordered = sorted(present, reverse=direction == "descending")
        assert present == ordered
    assert len(keys) == 4  # two channels of the take, the hostile file, the broken file


@pytest.mark.parametrize("name", ["index", "hostile_page"])
def test_a_hostile_file_name_stays_text(site, browser, name):
    open_page(browser, site[name])
    assert browser.find_elements("tag name", "img") == []
    texts = browser.execute_script(
        "return Array.from(document.querySelectorAll('h1, td a')).map(e => e.textContent)")
    assert HOSTILE in texts
    if name == "hostile_page":
        assert browser.title.startswith(HOSTILE + ", channel 1")
        assert browser.find_element("tag name", "h1").text == HOSTILE


def test_scatter_points_lead_to_the_pages(site, browser):
    open_page(browser, site["index"])
    links = browser.execute_script(
        "return Array.from(document.querySelectorAll('svg.vh-scatter a'))"
        ".map(a => a.getAttribute('href'))")
    pages = sorted(p.name for p in site["folder"].glob("*.html") if p.name != "index.html")
    assert sorted(links) == sorted(p.replace("<", "%3C") for p in pages)
    for href in links:
        assert (site["folder"] / href).is_file()


def test_screenshot_is_the_viewport_and_not_blank(site, browser):
    from PIL import Image

    open_page(browser, site["page"])
    image = Image.open(io.BytesIO(browser.get_screenshot_as_png())).convert("RGB")
    assert image.size == VIEWPORT
    pixels = np.asarray(image, dtype=np.float64)
    assert pixels.std() > 10.0  # text and plots, not one colour
    assert len(np.unique(pixels.reshape(-1, 3), axis=0)) > 50


def test_tool_json_lines_make_the_index_and_pages(site, tool, tmp_path):
    """The tool's JSON Lines of two files, a part of each analysed: the index
    shows the tool's own single values, each page plays just that part."""
    second = tmp_path / "second.wav"
    soundfile.write(second, sine(250.0, 75.0, 1.2), RATE, subtype="PCM_24")
    lines = tmp_path / "results.jsonl"
    subprocess.run([tool, "--quiet", "--metrics", "loudness-time,levels", "--start", "0.2",
                    "--duration", "0.6", "--json", str(lines), str(site["root"] / "take.wav"),
                    str(second)], check=True, capture_output=True)
    out = subprocess.run([sys.executable, "-m", "varnholt", "plot", str(lines), "-o",
                          f"{tmp_path}/pages/"], capture_output=True, text=True, env=os.environ)
    assert out.returncode == 0, out.stderr
    docs = [json.loads(line) for line in lines.read_text().splitlines()]
    index = (tmp_path / "pages" / "index.html").read_text(encoding="utf-8")
    model = json.loads(index.split('id="vh-data">')[1].split("</script>")[0])
    assert len(model["rows"]) == len(docs) == 3
    for row, doc in zip(model["rows"], docs):
        channel = doc["files"][0]["channels"][0]
        assert row["channel"] == channel["channel"]
        for metric in ("loudness-time", "levels"):
            for key, entry in channel["metrics"][metric]["summary"].items():
                assert row["values"][f"{metric}.{key}"] == entry["value"]
        page = (tmp_path / "pages" / row["href"]).read_text(encoding="utf-8")
        audio = json.loads(page.split('id="vh-data">')[1].split("</script>")[0])["audio"]
        played, _ = soundfile.read(io.BytesIO(base64.b64decode(audio["src"].split(",", 1)[1])))
        assert played.size == 0.6 * RATE
        if row["channel"] == 2 and row["file"] == "take.wav":
            # Silent to 0.5 s in the file, the tone after: in the span from
            # 0.2 s silent for 0.3 s, then the tone.
            rms = lambda a, b: np.sqrt(np.mean(played[int(a * RATE):int(b * RATE)] ** 2))
            assert rms(0.0, 0.25) < 0.01 * rms(0.35, 0.45)


def test_a_loud_recording_plays_scaled_to_full_scale(site, tmp_path):
    loud = tmp_path / "loud.wav"
    soundfile.write(loud, sine(1000.0, 100.0, 0.5), RATE, subtype="FLOAT")  # peaks of 2.8 Pa
    [source] = html_report.gather(loud, metrics="loudness")
    model = html_report.audio_model([source], str(tmp_path), embed=True)
    played, _ = soundfile.read(io.BytesIO(base64.b64decode(model["src"].split(",", 1)[1])))
    assert np.max(np.abs(played)) == pytest.approx(1.0, abs=0.05)
    assert "9.0 dB down" in model["note"]


# ---------------------------------------------------------------------------
# The writer itself, without a browser

def test_envelope_keeps_each_columns_extremes_in_time_order():
    rng = np.random.default_rng(3)
    values = rng.standard_normal(100_003)
    values[54_321] = 50.0  # a one-frame peak
    values[10:2000] = np.nan  # no value over a stretch, e.g. no tonal frequency
    idx = html_report.envelope_indices(values, 1000)
    assert np.all(np.diff(idx) > 0)
    assert 54_321 in idx
    width = -(-values.size // 1000)
    for start in range(0, values.size, width):
        column = values[start:start + width]
        picked = values[idx[(idx >= start) & (idx < start + width)]]
        if np.isnan(column).all():
            assert picked.size == 1 and np.isnan(picked[0])
        else:
            assert np.nanmin(column) in picked and np.nanmax(column) in picked


def test_script_json_cannot_end_its_element():
    hostile = {"name": "</script><script>alert(1)</script><!--", "x": [1.5, None]}
    text = html_report.script_json(hostile)
    assert "<" not in text and ">" not in text
    assert json.loads(text) == hostile


def test_long_series_become_envelopes_with_the_exact_data_beside(site, tmp_path, monkeypatch):
    monkeypatch.setattr(html_report, "FULL_SERIES_MAX_FRAMES", 100)
    monkeypatch.setattr(html_report, "ENVELOPE_COLUMNS", 50)
    page = html_report.write_html_report(site["channels"][:1], tmp_path / "long.html",
                                         embed_audio=False)
    exact = json.loads((tmp_path / "long.series.json").read_text())
    r = result_of(site, 1, "loudness-time")
    metric = exact["channels"][0]["metrics"]["loudness-time"]
    np.testing.assert_array_equal(as_floats(metric["time"]), r.time)
    np.testing.assert_array_equal(as_floats(metric["series"]["loudness"]["values"]), r.loudness)
    tonal = exact["channels"][0]["metrics"]["ecma-tonality"]["series"]["tonal_frequency"]
    np.testing.assert_array_equal(as_floats(tonal["values"]),
                                  result_of(site, 1, "ecma-tonality").tonal_frequency)
    text = open(page, encoding="utf-8").read()
    data = json.loads(text.split('id="vh-data">')[1].split("</script>")[0])
    panel = next(p for p in data["channels"][0]["panels"] if p["metric"] == "loudness-time")
    assert panel["reduced"] and len(panel["t"]) < r.time.size
    assert data["exact_href"] == "long.series.json"


def test_a_recording_too_long_to_embed_is_linked(site, tmp_path, monkeypatch):
    monkeypatch.setattr(html_report, "EMBED_AUDIO_MAX_BYTES", 1000)
    model = html_report.audio_model([html_report.Source(site["channels"][0],
                                                        audio_path=site["channels"][0].path)],
                                    str(tmp_path), embed=True,
                                    limit=html_report.EMBED_AUDIO_MAX_BYTES)
    assert not model["embedded"]
    assert os.path.normpath(tmp_path / model["src"]) == os.path.normpath(site["root"] / "take.wav")


def test_embedded_sound_is_the_files_channel(site, tmp_path):
    model = html_report.audio_model([html_report.Source(site["channels"][1],
                                                        audio_path=site["channels"][1].path)],
                                    str(tmp_path), embed=True)
    ogg = base64.b64decode(model["src"].split(",", 1)[1])
    decoded, rate = soundfile.read(io.BytesIO(ogg))
    original, _ = soundfile.read(site["root"] / "take.wav")
    assert rate == RATE and decoded.ndim == 1 and decoded.size == original.shape[0]
    # Vorbis is lossy: the right channel, within the codec's error, not the left.
    assert np.corrcoef(decoded, original[:, 1])[0, 1] > 0.99


def test_missing_plotting_library_names_the_install_step(site, tmp_path, monkeypatch):
    monkeypatch.setenv(html_report.UPLOT_DIR_ENV, str(tmp_path))
    with pytest.raises(FileNotFoundError, match="npm install --prefix"):
        varnholt.report(site["channels"], tmp_path / "x.html")


def test_one_page_holds_one_file(site, tmp_path):
    other = replace(site["channels"][0], path="other.wav")
    with pytest.raises(ValueError, match="-o DIR/"):
        varnholt.report([site["channels"][0], other], tmp_path / "x.html")
