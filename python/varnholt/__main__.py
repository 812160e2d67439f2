"""python3 -m varnholt: report, plot and batch from the command line.

  python3 -m varnholt report FILE -o report.png     analyse FILE, draw the report
  python3 -m varnholt report FILE -o report.html    the same as an interactive page
  python3 -m varnholt report FILES_OR_DIRS -o DIR/  index.html and a page per file and channel
  python3 -m varnholt plot RESULT.json -o report.pdf the report of the tool's --json output
                                                    (.html or DIR/ as above; JSON Lines too)
  python3 -m varnholt batch DIR_OR_FILES --out results.sqlite [--scheduler tcp://HOST:8786]
                                                   rows written as they finish; run again to resume
"""

from __future__ import annotations

import argparse
import sys

from .batch_dask import SchedulerLostError
from .results import METRICS


def _calibration(args):
    from .calibration import Calibration

    given = [args.scale is not None, args.full_scale_spl is not None, args.calibration is not None]
    if sum(given) > 1:
        raise SystemExit("varnholt: error: give only one of --scale, --full-scale-spl, "
                         "--calibration")
    if args.calibration is not None:
        if args.calibration_spl is None:
            raise SystemExit("varnholt: error: --calibration needs --calibration-spl")
        return Calibration.calibrator(args.calibration, args.calibration_spl,
                                      args.channel or 1)
    if args.full_scale_spl is not None:
        return Calibration.full_scale_spl(args.full_scale_spl)
    return Calibration.scale(1.0 if args.scale is None else args.scale)


def _analysis_options(p: argparse.ArgumentParser, channel: bool = True):
    p.add_argument("--metrics", default=",".join(METRICS),
                   help="comma-separated, of: " + ", ".join(METRICS) + " (default: all)")
    p.add_argument("--field", choices=("free", "diffuse"), default="free")
    p.add_argument("--scale", type=float, metavar="PA", help="pascal per sample unit")
    p.add_argument("--full-scale-spl", type=float, metavar="DB",
                   help="SPL in dB that a full-scale sine would read")
    p.add_argument("--calibration", metavar="FILE", help="recording of an acoustic calibrator")
    p.add_argument("--calibration-spl", type=float, metavar="DB",
                   help="SPL in dB of the calibrator in --calibration")
    if channel:
        p.add_argument("--channel", type=int, metavar="N", help="only channel N (1 = first)")


OUTPUT_HELP = ("report.png or .svg: one image, a column of panels per channel; report.pdf: A4 "
               "pages, a table of every single value with its unit, the calibration and the "
               "warnings, then a page per metric family and channel; report.html: an "
               "interactive page to listen to while you look; DIR/: index.html and an "
               "interactive page per file and channel")
PLOT_EPILOG = """\
The tool writes one JSON document for one input and JSON Lines (one document
per file and channel) for several; plot reads both. Each file gets its own
report, its channels side by side in a PNG or SVG: with several files the
images are numbered after the output name (-o report.png writes report-1.png,
report-2.png, ... in the order of the JSON); a PDF holds every file, page
after page. --file and --channel draw only the one file or channel. The paths
written are printed, one per line."""


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(prog="python3 -m varnholt",
                                     description="Psychoacoustic metrics of sound files.")
    sub = parser.add_subparsers(dest="command", required=True)
    report = sub.add_parser("report", help="analyse sound files and draw their report")
    report.add_argument("file", nargs="+", help="sound file; several, or folders: HTML only")
    report.add_argument("-o", "--output", required=True, help=OUTPUT_HELP)
    _analysis_options(report)
    plot = sub.add_parser("plot", help="draw the report of the varnholt tool's --json output",
                          epilog=PLOT_EPILOG,
                          formatter_class=argparse.RawDescriptionHelpFormatter)
    plot.add_argument("json", nargs="+",
                      help="the tool's --json output: one document or JSON Lines; several: "
                           "HTML only")
    plot.add_argument("-o", "--output", required=True, help=OUTPUT_HELP)
    plot.add_argument("--file", metavar="PATH",
                      help="only the file of this path (as the tool wrote it)")
    plot.add_argument("--channel", type=int, metavar="N", help="only channel N (1 = first)")
    batch = sub.add_parser("batch", help="single values of many files on a Dask cluster")
    batch.add_argument("inputs", nargs="+", help="sound files and directories")
    batch.add_argument("--scheduler", metavar="ADDRESS",
                       help="Dask scheduler, e.g. tcp://HOST:8786 (default: a local cluster)")
    where = batch.add_mutually_exclusive_group(required=True)
    where.add_argument("--out", metavar="FILE",
                       help="results.sqlite or results.csv: each row written as it finishes; "
                       "run again to compute only what is missing")
    where.add_argument("--csv", dest="out", metavar="FILE", help=argparse.SUPPRESS)
    batch.add_argument("--overwrite", action="store_true",
                       help="replace an output made with other settings")
    batch.add_argument("--series", metavar="DIR",
                       help="write the per-frame series of each file and channel here")
    batch.add_argument("--recursive", action="store_true",
                       help="also the sound files in subfolders of the folders given")
    _analysis_options(batch, channel=False)
    args = parser.parse_args(argv)

    from .errors import VarnholtError

    try:
        from .html_report import is_html_output

        inputs = {"report": getattr(args, "file", None),
                  "plot": getattr(args, "json", None)}.get(args.command)
        if args.command in ("report", "plot") and is_html_output(args.output):
            from .html_report import command as html_command

            analysis = dict(metrics=args.metrics, calibration=_calibration(args),
                            field=args.field, channel=args.channel) \
                if args.command == "report" else {}
            path, failures = html_command(inputs, args.output, **analysis)
            print(path)
        elif args.command in ("report", "plot") and len(inputs) > 1:
            raise ValueError("several inputs make an HTML report: -o DIR/")
        elif args.command == "report":
            from .analysis import DISPLAY_BAND_ROWS, analyze
            from .static_report import write_report

            channels = analyze(args.file[0], metrics=args.metrics,
                               calibration=_calibration(args), field=args.field,
                               channel=args.channel, bands=True, band_rows=DISPLAY_BAND_ROWS)
            print(write_report(channels, args.output))
            failures = [f"{c.path}: channel {c.channel}: {m}: {e}"
                        for c in channels for m, e in c.errors.items()]
            failures += [f"{c.path}: channel {c.channel}: {c.error}" for c in channels if c.error]
        elif args.command == "plot":
            from .static_report import write_reports
            from .tool_json import channels_from_tool_json

            channels = channels_from_tool_json(args.json[0], args.file, args.channel)
            if not channels:
                picked = " and ".join(
                    ([f"file {args.file}"] if args.file is not None else [])
                    + ([f"channel {args.channel}"] if args.channel is not None else []))
                raise ValueError(f"{args.json[0]}: holds no {picked or 'channel'}")
            groups = {}
            for c in channels:
                groups.setdefault(c.path, []).append(c)
            for path in write_reports(list(groups.values()), args.output):
                print(path)
            failures = []
        else:
            from .batch_dask import batch as run

            df = run(args.inputs, metrics=args.metrics, calibration=_calibration(args),
                     client=args.scheduler, field=args.field, progress=sys.stderr.isatty(),
                     out=args.out, overwrite=args.overwrite, series=args.series,
                     recursive=args.recursive)
            print(args.out)
            print(f"varnholt: {len(df)} rows in {args.out}: {df.attrs['submitted']} computed "
                  f"now, {df.attrs['skipped']} from an earlier run", file=sys.stderr)
            failures = [f"{r.path}: channel {r.channel}: {r.error}"
                        for r in df.itertuples() if r.status != "ok"]
    except (VarnholtError, ValueError, OSError, SchedulerLostError) as e:
        print(f"varnholt: error: {e}", file=sys.stderr)
        return 2
    for line in failures:
        print(f"varnholt: error: {line}", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
