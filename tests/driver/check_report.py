"""Checks a run's synchronisation report: the JSON file against the run's own statistics files and
the simulator's ground truth, the HTML page as XML, and the page as a real browser draws it.

usage:
  check_report.py json <log dir> <set name> [<truth file>]
  check_report.py html <log dir> <set name>
  check_report.py render <log dir> <set name> <work dir>
  check_report.py summary <log dir> <set name> <file holding the console's summary line>

Prints OK and exits 0, or prints every mismatch and exits 1. render exits 77, saying so, when no
browser is installed.
"""
import json
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET
import zlib

import numpy as np

PROBLEMS = []


def check(condition, message):
    if not condition:
        PROBLEMS.append(message)
    return condition


def finish():
    if PROBLEMS:
        for p in PROBLEMS[:40]:
            print("MISMATCH:", p)
        sys.exit(1)
    print("OK")
    sys.exit(0)


def load(log_dir, set_name, ext):
    return os.path.join(log_dir, set_name + ".report." + ext)


# ---------------------------------------------------------------- JSON against the run and the truth

def global_error(path):
    """The lists of GlobalError.txt by name, and the first column of its alignment table."""
    lines = open(path).read().splitlines()
    lists, rows, i = {}, [], 0
    while i < len(lines):
        line = lines[i]
        m = re.match(r"^(\w+) = (\S+)$", line)
        if m and m.group(1) in ("triggersPerSegment", "samplesInsertedBefore", "correctionInsertedBefore"):
            lists[m.group(1)] = [int(v) for v in lines[i + 1].split()]
            i += 2
            continue
        if m:
            lists[m.group(1)] = float(m.group(2))
        elif line.lstrip().startswith("[final drift on"):
            rows = [float(l.split()[0]) for l in lines[i + 1:] if l.strip()]
            break
        i += 1
    return lists, rows


def truth_file(path):
    sections, current = {}, None
    for line in open(path).read().splitlines():
        if line.startswith("#") or not line.strip():
            continue
        if line.startswith("["):
            current = line.strip("[]")
            sections[current] = []
            continue
        sections[current].append(line)
    def keyed(name):
        return dict(l.split("=", 1) for l in sections[name] if "=" in l)
    def table(name):
        header = sections[name][0].split(",")
        return [dict(zip(header, l.split(","))) for l in sections[name][1:]]
    return keyed("recording"), keyed("clock"), table("segments"), table("triggers")


def check_json(log_dir, set_name, truth_path):
    r = json.load(open(load(log_dir, set_name, "json")))
    check(r["version"] == 1 and r["format"] == "tolmera synchronisation report", "format and version")
    f, c, triggers, segments = r["figures"], r["clock"], r["triggers"], r["segments"]
    status = {s: [t for t in triggers if t["status"] == s] for s in ("matched", "outlier", "removed", "unmatched")}
    pairs = status["matched"] + status["outlier"]
    check(len(pairs) == f["matched"], "pairs listed %d, matched %d" % (len(pairs), f["matched"]))
    check(len(status["outlier"]) == f["outliers"], "outliers listed %d, counted %d" % (len(status["outlier"]), f["outliers"]))
    check(len(status["removed"]) == f["removedByOverflowRepair"], "removed triggers listed")
    check(sum(t["eegPosition"] is not None for t in triggers) == f["eegTriggers"] == r["eeg"]["triggers"], "EEG triggers listed")
    check(sum(t["trackerTimeMs"] is not None for t in triggers) == f["trackerTriggers"], "tracker triggers listed")
    check(len([t for t in status["unmatched"] if t["eegPosition"] is not None]) == f["unmatchedEeg"], "unmatched EEG")
    check(sum(s["matched"] for s in segments) == f["matched"], "pairs per segment add up")
    check([t["seconds"] for t in triggers] == sorted(t["seconds"] for t in triggers), "triggers in time order")
    rate = r["eeg"]["rateHz"]
    for t in pairs:
        check(t["segment"] is not None and 1 <= t["segment"] <= len(segments), "segment of pair %s" % t)
        seg = segments[t["segment"] - 1]
        check(t["eegPosition"] - seg["start"] == t["eegFilePosition"] - seg["filePosition"],
              "merged and file positions differ by the segment's own shift: %s" % t)
    if c["model"] == "fitted":
        # The residual is the EEG position's distance from the line the JSON itself gives.
        for t in pairs:
            line = c["offsetSamples"] + c["samplesPerMs"] * (t["trackerTimeMs"] - c["originMs"])
            expected = (t["eegPosition"] - line) * 1000.0 / rate
            check(abs(expected - t["residualMs"]) < 1e-3, "residual %s against the clock line (%.5f)" % (t, expected))
        kept = [abs(t["residualMs"]) for t in status["matched"]]
        if kept:
            check(abs(max(kept) - c["residualLargestMs"]) < 1e-3, "largest residual")
            rms = math.sqrt(sum(v * v for v in kept) / len(kept))
            check(abs(rms - c["residualRmsMs"]) < 1e-3, "RMS residual %.5f against %.5f" % (rms, c["residualRmsMs"]))
        check(all(abs(t["residualMs"]) > c["toleranceMs"] for t in status["outlier"]), "outliers beyond the tolerance")
        if c["residualRmsMs"] is not None:
            check(abs(c["residualRmsOutputSamples"] - c["residualRmsMs"] * f["outputRateHz"] / 1000.0) < 1e-3, "RMS in output samples")
        else:
            check(not status["matched"], "no RMS although pairs were kept")

    if r["outcome"] == "refused":
        finish()  # a refused pair leaves no statistics files to compare with
    # The run's own statistics files.
    lists, rows = global_error(os.path.join(log_dir, "GlobalError.txt"))
    check(lists.get("nbTriggers") == f["matched"], "nbTriggers %s, matched %d" % (lists.get("nbTriggers"), f["matched"]))
    modelled = [i for i, s in enumerate(segments) if s["matched"] - s["outliers"] > 0]
    if modelled:
        span = segments[modelled[0]:modelled[-1] + 1]
        check(lists["triggersPerSegment"] == [s["matched"] - s["outliers"] for s in span],
              "triggers per segment %s against %s" % (lists["triggersPerSegment"], [s["matched"] - s["outliers"] for s in span]))
        check(lists["samplesInsertedBefore"][1:] == [s["inserted"] for s in span][1:], "samples inserted per segment")
        check(lists["correctionInsertedBefore"][1:] == [s["correction"] for s in span][1:], "corrections per segment")
    period = r["tracker"]["samplePeriodMs"]
    modelled_pairs = [t for t in pairs if t["status"] == "matched" and t["residualMs"] is not None]
    check(len(rows) == len(modelled_pairs), "alignment rows %d, modelled pairs %d" % (len(rows), len(modelled_pairs)))
    for row, t in zip(rows, modelled_pairs):
        check(abs(-row * period - t["residualMs"]) < 2e-3, "alignment row %.5f against residual %s" % (row, t))

    if truth_path:
        recording, clock, truth_segments, truth_triggers = truth_file(truth_path)
        check(r["eeg"]["recordedSamples"] == int(recording["eeg_recorded_samples"]), "recorded samples")
        check(r["eeg"]["mergedSamples"] == int(recording["eeg_gapfilled_samples"]),
              "merged samples %d, truth %s" % (r["eeg"]["mergedSamples"], recording["eeg_gapfilled_samples"]))
        # The slope's standard error from the residuals' spread over the span of the kept pairs.
        times = [t["trackerTimeMs"] for t in status["matched"]]
        spread = float(np.std(times)) * math.sqrt(len(times))
        sigma = c["residualRmsMs"] / spread * 1e6 if spread > 0 else float("inf")
        check(abs(c["driftPpm"] - float(clock["drift_ppm"])) < 5 * sigma + 0.5,
              "drift %.3f ppm, truth %s (standard error %.2f)" % (c["driftPpm"], clock["drift_ppm"], sigma))
        # The former two-point model takes no registration delay off its line: a tracker sample may remain.
        slack = 1.0 if c["model"] == "fitted" else 2.0 * r["tracker"]["samplePeriodMs"]
        check(abs(c["eegStartMs"] - float(clock["eeg_start_ms"])) < slack, "EEG start %.3f ms, truth %s" % (c["eegStartMs"], clock["eeg_start_ms"]))
        check(len(segments) == len(truth_segments), "segments %d, truth %d" % (len(segments), len(truth_segments)))
        for s, t in zip(segments, truth_segments):
            check(s["cause"] == t["kind"], "segment %d begun by %s, truth %s" % (s["index"], s["cause"], t["kind"]))
            check(s["filePosition"] == int(t["vmrk_position"]) - 1, "segment %d file position" % s["index"])
            check(s["start"] == int(t["gapfilled_position"]) - 1, "segment %d start %d, truth %s" % (s["index"], s["start"], t["gapfilled_position"]))
            check(s["inserted"] == int(t["lost_before"]), "segment %d inserted %d, truth lost %s" % (s["index"], s["inserted"], t["lost_before"]))
            check(s["recordedSamples"] == int(t["recorded_samples"]), "segment %d recorded samples" % s["index"])
        kept = [t for t in truth_triggers if t["eeg_lost"] == "0"]
        check(len(pairs) == len(kept), "pairs %d, triggers both devices registered %d" % (len(pairs), len(kept)))
        by_time = {t["trackerTimeMs"]: t for t in triggers if t["trackerTimeMs"] is not None}
        for t in truth_triggers:
            got = by_time.get(float(t["et_timestamp"]))
            if not check(got is not None, "truth trigger %s not in the report" % t["index"]):
                continue
            check(got["code"] == int(t["code"]), "code of trigger %s" % t["index"])
            if t["eeg_lost"] == "1":
                check(got["status"] in ("removed", "unmatched") and got["eegPosition"] is None, "lost trigger %s: %s" % (t["index"], got))
            else:
                check(got["status"] == "matched", "trigger %s: %s" % (t["index"], got["status"]))
                check(got["eegPosition"] == int(t["eeg_gapfilled_position"]) - 1, "trigger %s EEG position %s, truth %s" %
                      (t["index"], got["eegPosition"], t["eeg_gapfilled_position"]))
                check(got["eegFilePosition"] == int(t["eeg_vmrk_position"]) - 1, "trigger %s file position" % t["index"])
        overflows = [s for s in truth_segments if s["kind"] == "overflow"]
        check(len(r["overflows"]) == len(overflows), "overflows")
        check(sum(o["removedTriggers"] for o in r["overflows"]) == f["removedByOverflowRepair"], "removed triggers per overflow")
    finish()


# ---------------------------------------------------------------- the page as XML

def check_html(log_dir, set_name):
    path = load(log_dir, set_name, "html")
    text = open(path, encoding="utf-8").read()
    report = json.load(open(load(log_dir, set_name, "json")))
    try:
        root = ET.fromstring(text.split("\n", 1)[1])  # past the doctype
    except ET.ParseError as e:
        check(False, "not well-formed: %s" % e)
        finish()
    check(root.tag == "html", "root element %s" % root.tag)
    # Nothing fetched, nothing run.
    for pattern in (r"https?:", r"ftp:", r"file:", r"//[a-z0-9.-]+\.[a-z]{2,}", r"@import", r"javascript:"):
        check(re.search(pattern, text, re.I) is None, "external reference %s" % pattern)
    for element in root.iter():
        tag = element.tag.split("}")[-1]
        check(tag not in ("script", "link", "img", "iframe", "object", "embed", "base", "audio", "video", "source", "image", "use"),
              "element <%s>" % tag)
        for name, value in element.attrib.items():
            local = name.split("}")[-1]
            check(not local.startswith("on"), "event handler %s" % name)
            check(local not in ("href", "src", "srcset", "action", "data", "background"), "attribute %s=%s" % (name, value))
            if "url(" in value:
                check(re.fullmatch(r"url\(#[\w-]+\)", value) is not None, "reference %s" % value)
    svgs = {e.get("id"): e for e in root.iter("svg")}
    for plot, x_unit in (("plot-residuals", r"\((s|min)\)"), ("plot-histogram", r"\(ms\)"), ("plot-sequences", r"\((s|min)\)")):
        if not check(plot in svgs, "%s missing" % plot):
            continue
        svg = svgs[plot]
        axes = ["".join(t.itertext()) for t in svg.iter("text") if "axis" in (t.get("class") or "").split()]
        check(any(re.search(x_unit, a) for a in axes), "%s: no x axis label with its unit in %s" % (plot, axes))
        if plot != "plot-sequences":
            check(any("(ms)" in a for a in axes[1:] + axes[:1]) and len(axes) >= 2, "%s: axis labels %s" % (plot, axes))
        ticks = [t for t in svg.iter("text") if t.get("class") == "tick"]
        check(len(ticks) >= 6, "%s: %d tick labels" % (plot, len(ticks)))
        check(svg.find("title") is not None and svg.get("viewBox"), "%s: title and viewBox" % plot)
    # Every pair is a mark: the kept ones as dots of one path in plot 1, every pair a join in plot 3.
    kept = sum(1 for t in report["triggers"] if t["status"] == "matched" and t["residualMs"] is not None)
    if "plot-residuals" in svgs and kept:
        plotted = [g for g in svgs["plot-residuals"].iter("g") if g.get("clip-path")]
        dots = sum(p.get("d", "").count("h0") for g in plotted for p in g.iter("path") if p.get("stroke") == "#0072B2")
        edges = sum(p.get("d", "").count("z") for p in svgs["plot-residuals"].iter("path") if p.get("fill") == "#0072B2")
        check(dots + edges == kept, "plot 1 shows %d kept pairs of %d" % (dots + edges, kept))
    if "plot-sequences" in svgs:
        pairs = report["figures"]["matched"]
        joins = [p.get("d", "") for p in svgs["plot-sequences"].iter("path") if p.get("stroke") in ("#0072B2", "#D55E00")]
        drawn = sum(d.count("L") for d in joins)
        # The close-up panel, drawn past 30 triggers, joins every pair again (clipped to its window).
        expected = pairs * (2 if len(report["triggers"]) > 30 else 1)
        check(drawn == expected, "plot 3 joins %d, expected %d" % (drawn, expected))
    verdict = [e for e in root.iter("section") if e.get("id") == "verdict"]
    if check(len(verdict) == 1, "one verdict"):
        expected = {"synchronised": "ok", "refused": "refused"}.get(report["outcome"], "warn")
        check(expected in verdict[0].get("class").split(), "verdict class %s for %s" % (verdict[0].get("class"), report["outcome"]))
        check(report["headline"] in "".join(verdict[0].itertext()), "verdict headline")
    rows = [tr for table in root.iter("table") if table.get("class") == "segments" for tr in table.iter("tr")]
    check(len(rows) == len(report["segments"]) + 1, "segment table rows %d for %d segments" % (len(rows), len(report["segments"])))
    finish()


# ---------------------------------------------------------------- the page in a real browser

def read_png(path):
    """RGB(A) pixels of an 8-bit, non-interlaced PNG."""
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat = 8, b""
    while pos < len(data):
        n, = struct.unpack(">I", data[pos:pos + 4])
        kind, body = data[pos + 4:pos + 8], data[pos + 8:pos + 8 + n]
        pos += 12 + n
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or interlace or colour not in (2, 6):
                raise ValueError("unsupported PNG layout")
        elif kind == b"IDAT":
            idat += body
    ch = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * ch
    image = np.zeros((height, stride), dtype=np.uint8)
    previous = np.zeros(stride, dtype=np.int64)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = np.frombuffer(raw, dtype=np.uint8, count=stride, offset=y * (stride + 1) + 1).astype(np.int64)
        if kind == 0:
            current = line
        elif kind == 1:
            current = np.cumsum(line.reshape(width, ch), axis=0).reshape(-1) & 255
        elif kind == 2:
            current = (line + previous) & 255
        else:
            # Average and Paeth depend on the pixel just reconstructed: one byte at a time.
            up, out, cur = previous.tolist(), line.tolist(), [0] * stride
            for i in range(stride):
                a = cur[i - ch] if i >= ch else 0
                b = up[i]
                if kind == 3:
                    pred = (a + b) >> 1
                else:
                    c = up[i - ch] if i >= ch else 0
                    pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                    pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                cur[i] = (out[i] + pred) & 255
            current = np.array(cur, dtype=np.int64)
        image[y] = current
        previous = current
    return image.reshape(height, width, ch)[:, :, :3]


def browser():
    for name in ("chromium", "chromium-browser"):
        if shutil.which(name):
            return shutil.which(name)
    return None


def screenshot(chrome, page, png, work, size):
    profile = os.path.join(work, "profile-" + os.path.basename(png))
    command = [chrome, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
               "--disable-background-networking", "--disable-component-update", "--disable-sync",
               "--user-data-dir=" + profile, "--screenshot=" + png, "--window-size=" + size, "file://" + page]
    done = subprocess.run(command, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, stdin=subprocess.DEVNULL)
    check(done.returncode == 0, "the browser failed on %s: %s" % (page, done.stdout.decode(errors="replace")[-2000:]))
    return done.returncode == 0 and os.path.exists(png)


def colour_share(image, hex_colour, tolerance=24):
    target = np.array([int(hex_colour[i:i + 2], 16) for i in (1, 3, 5)])
    return float(np.mean(np.all(np.abs(image.astype(int) - target) <= tolerance, axis=2)))


def check_render(log_dir, set_name, work):
    chrome = browser()
    if chrome is None:
        print("SKIP: no chromium to render the page with (scripts/deps.sh installs it)")
        sys.exit(77)
    path = os.path.abspath(load(log_dir, set_name, "html"))
    report = json.load(open(load(log_dir, set_name, "json")))
    text = open(path, encoding="utf-8").read()
    whole = os.path.join(work, "page.png")
    if screenshot(chrome, path, whole, work, "1200,2400"):
        image = read_png(whole)
        check(image.shape[1] == 1200, "page width %d" % image.shape[1])
        check(np.mean(np.any(image < 235, axis=2)) > 0.05, "the page is nearly blank")
        verdict = "#009E73" if report["outcome"] == "synchronised" else "#D55E00" if report["outcome"] == "refused" else "#E69F00"
        check(colour_share(image, verdict, 12) > 0.0005, "the verdict's colour %s is not on the page" % verdict)
    # Each plot alone, with the page's style, so that its pixels can be told from the rest.
    style = re.search(r"<style>.*?</style>", text, re.S).group(0)
    marks = "#0072B2" if report["figures"]["matched"] - report["figures"]["outliers"] > 0 else "#D55E00"
    residuals = any(t["residualMs"] is not None for t in report["triggers"])
    for plot in ("plot-residuals", "plot-histogram", "plot-sequences"):
        svg = re.search(r'<svg id="%s".*?</svg>' % plot, text, re.S)
        if not check(svg is not None, "%s missing" % plot):
            continue
        page = os.path.join(work, plot + ".html")
        with open(page, "w", encoding="utf-8") as out:
            out.write("<!DOCTYPE html><html><head><meta charset=\"utf-8\"/>%s</head><body>%s</body></html>" % (style, svg.group(0)))
        png = os.path.join(work, plot + ".png")
        if not screenshot(chrome, page, png, work, "1100,700"):
            continue
        image = read_png(png)
        inked = np.any(image < 200, axis=2)
        rows = np.where(inked.any(axis=1))[0]
        check(len(rows) > 150, "%s: drawn on only %d rows" % (plot, len(rows)))
        colours = len(np.unique(image.reshape(-1, 3)[::7], axis=0))
        check(colours >= 12, "%s: only %d colours" % (plot, colours))
        if residuals or plot == "plot-sequences":
            check(float(np.mean(inked)) > 0.01, "%s: %.4f of the pixels inked" % (plot, float(np.mean(inked))))
        if residuals or plot == "plot-sequences":
            check(colour_share(image, marks, 30) > 0.0004, "%s: no marks in %s" % (plot, marks))
    finish()


# ---------------------------------------------------------------- the console's summary line

def check_summary(log_dir, set_name, summary_path):
    r = json.load(open(load(log_dir, set_name, "json")))
    f, c = r["figures"], r["clock"]
    line = open(summary_path).read().strip()
    lead = {"synchronised": "Synchronised", "refused": "Refused", "merged-although-refused": "Merged although refused (-F)",
            "merge-failed": "Not merged"}[r["outcome"]]
    check(line.startswith(lead + ": "), "summary %r for outcome %s" % (line, r["outcome"]))
    m = re.search(r"matched (\d+) of (\d+) EEG and (\d+) tracker triggers", line)
    if check(m is not None, "no trigger counts in %r" % line):
        check([int(v) for v in m.groups()] == [f["matched"], f["eegTriggers"], f["trackerTriggers"]], "counts in %r" % line)
    if f["outliers"] and r["outcome"] == "synchronised":
        check("(%d outlier" % f["outliers"] in line, "outliers in %r" % line)
    if f["removedByOverflowRepair"]:
        check("%d tracker trigger" % f["removedByOverflowRepair"] in line, "removed triggers in %r" % line)
    m = re.search(r"; drift ([-+]?[0-9.]+) ppm", line)
    if c["model"] != "none" and check(m is not None, "no drift in %r" % line):
        check(abs(float(m.group(1)) - c["driftPpm"]) <= 0.05 + 1e-9, "drift in %r against %s" % (line, c["driftPpm"]))
    m = re.search(r"; residual ([0-9.]+) ms RMS, ([0-9.]+) ms at most", line)
    if c["residualRmsMs"] is not None and check(m is not None, "no residual in %r" % line):
        check(abs(float(m.group(1)) - c["residualRmsMs"]) <= 0.005 + 1e-9, "RMS in %r" % line)
        check(abs(float(m.group(2)) - c["residualLargestMs"]) <= 0.05 + 1e-9, "largest residual in %r" % line)
    m = re.search(r"; (\d+) EEG segments?, (\d+) samples? inserted; report: (.+)$", line)
    if check(m is not None, "no segments or report in %r" % line):
        check(int(m.group(1)) == len(r["segments"]) and int(m.group(2)) == f["samplesInserted"], "segments in %r" % line)
        # The console names it as the run did, relative to the run's folder (the log folder's grandparent).
        named = os.path.normpath(os.path.join(log_dir, os.pardir, os.pardir, m.group(3)))
        check(named == os.path.normpath(load(log_dir, set_name, "html")), "report path in %r" % line)
    finish()


def main():
    mode = sys.argv[1]
    if mode == "json":
        check_json(sys.argv[2], sys.argv[3], sys.argv[4] if len(sys.argv) > 4 else None)
    elif mode == "html":
        check_html(sys.argv[2], sys.argv[3])
    elif mode == "summary":
        check_summary(sys.argv[2], sys.argv[3], sys.argv[4])
    elif mode == "render":
        check_render(sys.argv[2], sys.argv[3], sys.argv[4])
    else:
        print("unknown mode", mode)
        sys.exit(2)


if __name__ == "__main__":
    main()
