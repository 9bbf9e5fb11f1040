"""The markers of a merged recording read by MNE-Python, against the simulator's ground truth.

Usage:
  check_merged_markers.py prepare IN_DIR
      adds a Response and two Comments to IN_DIR/S01.vmrk (markers the simulator never writes),
      one of them after the first pause, so that the merge must carry them onto its time line.
  check_merged_markers.py check IN_DIR OUT_BASE TOWARD_EEG(0|1)
      reads OUT_BASE.vhdr with MNE and checks it against IN_DIR/S01.truth.txt and IN_DIR/S01.vmrk.
Prints one line per failed check and exits 1 when any failed.
"""
import collections
import datetime
import re
import sys
import warnings

import numpy as np
import mne

mne.set_log_level("ERROR")
failures = []


def fail(text):
    failures.append(text)
    print("FAIL: " + text)


def read_truth(path):
    sections = collections.defaultdict(list)
    current = None
    for line in open(path):
        line = line.strip()
        if not line or line.startswith("#"):
            continue
        if line.startswith("["):
            current = line[1:-1]
            continue
        sections[current].append(line)
    recording = {}
    blocks = []
    for line in sections["recording"]:
        key, value = line.split("=", 1)
        if key == "block":
            blocks.append([int(v) for v in value.split(",")])
        else:
            recording[key] = value
    clock = dict(line.split("=", 1) for line in sections["clock"])

    def table(name):
        rows = sections[name]
        header = rows[0].split(",")
        return [dict(zip(header, row.split(","))) for row in rows[1:]]

    return recording, clock, blocks, table("segments"), table("triggers")


def read_vmrk(path):
    markers = []
    for line in open(path, encoding="utf-8", errors="replace"):
        m = re.match(r"^Mk(\d+)=(.*)$", line.rstrip("\r\n"))
        if m:
            fields = m.group(2).split(",")
            markers.append({"type": fields[0], "desc": fields[1], "pos": int(fields[2]),
                            "len": int(fields[3]) if fields[3].isdigit() else 1})
    return markers


def gapfilled(segments, vmrk_pos):
    """1-based .vmrk position -> 0-based position on the gap-filled line."""
    shift = 0
    for s in segments:
        if int(s["vmrk_position"]) <= vmrk_pos:
            shift = int(s["gapfilled_position"]) - int(s["vmrk_position"])
    return vmrk_pos - 1 + shift


def prepare(indir):
    path = indir + "/S01.vmrk"
    markers = read_vmrk(path)
    stimuli = [m for m in markers if m["type"] == "Stimulus"]
    middle = stimuli[len(stimuli) // 2]["pos"]
    late = stimuli[(len(stimuli) * 4) // 5]["pos"]
    n = len(markers)
    with open(path, "a", newline="") as f:
        f.write("Mk%d=Response,R  3,%d,1,0\r\n" % (n + 1, middle + 5))
        f.write("Mk%d=Comment,subject moved,%d,1,0\r\n" % (n + 2, middle + 9))
        f.write("Mk%d=Comment,late note,%d,4,0\r\n" % (n + 3, late + 7))


def intervals_union(pairs):
    total = 0
    end = -1
    for a, b in sorted(pairs):
        if b <= end:
            continue
        total += b - max(a, end)
        end = b
    return total


def check(indir, base, toward_eeg):
    recording, clock, blocks, segments, triggers = read_truth(indir + "/S01.truth.txt")
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        fmt = open(base + ".vhdr").read()
        float64 = "IEEE_FLOAT_64" in fmt
        raw = None if float64 else mne.io.read_raw_brainvision(base + ".vhdr", preload=True, verbose="ERROR")
    all_markers = read_vmrk(base + ".vmrk")
    out_markers = all_markers[1:]
    n_eeg = int(recording["eeg_channels"])
    eeg_rate = float(recording["eeg_rate_hz"])
    gaze_period = 1000.0 / float(recording["gaze_rate_hz"])
    per_ms = float(clock["eeg_samples_per_ms"])
    eeg_start_ms = float(clock["eeg_start_ms"])

    # The merged data as written (numpy, so that float64 is read too).
    channels = int(re.search(r"NumberOfChannels=(\d+)", fmt).group(1))
    dtype = {"INT_16": "<i2", "IEEE_FLOAT_32": "<f4", "IEEE_FLOAT_64": "<f8"}[
        re.search(r"BinaryFormat=(\w+)", fmt).group(1)]
    data = np.fromfile(base + ".eeg", dtype=dtype).reshape(-1, channels)
    n = data.shape[0]
    interval_us = float(re.search(r"SamplingInterval=([0-9.]+)", fmt).group(1))

    # Missing gaze: NaN in a floating file, -2000 in a 16-bit one; never a finite -2000 in floats.
    gaze = data[:, n_eeg:channels - 1].astype(float)
    if dtype == "<i2":
        if not (gaze == -2000).any():
            fail("16-bit gaze has no -2000 for missing samples")
    else:
        if (gaze == -2000.0).any():
            fail("floating gaze still holds -2000.0 for missing samples")
        if not np.isnan(gaze).any():
            fail("floating gaze has no NaN for its missing samples")

    annotations = [(int(round(m["pos"] - 1)), m["type"] + "/" + m["desc"], m["len"]) for m in out_markers]
    if raw is not None:
        # MNE's view equals the file's lines, and triggers keep their own codes as event ids.
        mne_view = [(int(round(a["onset"] * raw.info["sfreq"])), a["description"],
                     int(round(a["duration"] * raw.info["sfreq"]))) for a in raw.annotations]
        in_file = [(m["pos"] - 1, m["type"] + "/" + m["desc"], m["len"]) for m in all_markers]
        if sorted(mne_view) != sorted(in_file):  # MNE orders markers of one sample its own way
            fail("MNE reads other annotations than the file holds: %s" % [x for x in mne_view if x not in in_file][:3])
        _, ids = mne.events_from_annotations(raw, verbose="ERROR")
        for desc, code in ids.items():
            m = re.match(r"^Stimulus/S\s*(\d+)$", desc)
            if m and int(m.group(1)) < 1000 and int(m.group(1)) != code:
                fail("event id %d for %s" % (code, desc))
    at = collections.defaultdict(list)
    for onset, desc, length in annotations:
        at[onset].append(desc)

    # Where frame 0 lies: on the EEG's gap-filled line (toward EEG, exact) or on the tracker's clock
    # (toward gaze), found from the triggers and checked against the TrueTime channel.
    resolution = float(re.search(r"Ch%d=[^,]*,[^,]*,([0-9.eE+-]+)" % n_eeg, fmt).group(1))
    true_time = data[:, n_eeg - 1].astype(float) * resolution
    recorded_eeg = [t for t in triggers if int(t["eeg_vmrk_position"]) > 0]
    by_code = collections.defaultdict(list)
    stimuli = [(o, d) for o, d, _ in annotations if re.match(r"^Stimulus/S\s*\d+$", d) and int(d[10:]) < 1000]
    votes = collections.Counter()
    if toward_eeg:
        for t in recorded_eeg:
            by_code[int(t["code"])].append(gapfilled(segments, int(t["eeg_vmrk_position"])))
    else:
        # A trigger lies at the tracker's sample of the grid point at or before its INPUT line; the
        # grid starts at the recording's first calibration (or START) line, and the samples lie
        # their block's phase past its points.
        grid = phase = None
        for line in open(indir + "/S01.asc"):
            t = line.split()
            if grid is None and len(t) >= 3 and ((t[0] == "MSG" and t[2] == "!CAL") or t[0] == "START"):
                grid = int(t[1])
            elif grid is not None and t and t[0].isdigit():
                phase = (int(t[0]) - grid) % gaze_period
                break
        for t in triggers:
            by_code[int(t["code"])].append(grid + phase + ((int(t["et_timestamp"]) - grid) // gaze_period) * gaze_period)
    for onset, desc in stimuli:
        for p in by_code[int(desc[10:])]:
            votes[p - onset * (1 if toward_eeg else gaze_period)] += 1
    if not votes:
        fail("no trigger among the merged markers")
        return
    origin = votes.most_common(1)[0][0]
    if toward_eeg:
        # TrueTime of frame f is the true time of gap-filled sample origin + f.
        for f in [0, n // 2, n - 1]:
            expected = (eeg_start_ms + (origin + f) / per_ms) % 1600.0
            if np.isfinite(true_time[f]) and abs((true_time[f] - expected + 800) % 1600 - 800) > 0.01 + resolution:
                fail("frame %d is not gap-filled EEG sample %d (TrueTime %.3f, expected %.3f)" % (f, origin + f, true_time[f], expected))
        first_ms = eeg_start_ms + origin / per_ms
        date_offset_us = origin * 1e6 / eeg_rate
        date_tolerance_us = 1.0
    else:
        first_ms = origin
        # The EEG position of the first frame on the true clock, at the nominal rate like the dates.
        date_offset_us = (first_ms - eeg_start_ms) * per_ms * 1e6 / eeg_rate
        # Which sample of the tracker's grid stands for an INPUT line between two samples is the
        # program's convention: one gaze sample either way.
        date_tolerance_us = 1e6 / eeg_rate + gaze_period * 1000.0

    # The merged recording starts at its first frame.
    first_date = datetime.datetime.strptime(segments[0]["date"], "%Y%m%d%H%M%S%f").replace(tzinfo=datetime.timezone.utc)
    expected_date = first_date + datetime.timedelta(microseconds=date_offset_us)
    meas = raw.info["meas_date"] if raw is not None else datetime.datetime.strptime(
        re.search(r"Mk1=New Segment,[^,]*,\d+,\d+,\d+,(\d{20})", open(base + ".vmrk").read()).group(1),
        "%Y%m%d%H%M%S%f").replace(tzinfo=datetime.timezone.utc)
    if abs((meas - expected_date).total_seconds() * 1e6) > date_tolerance_us:
        fail("start date %s, the first frame was recorded at %s" % (meas, expected_date))

    # Every EEG marker inside the window, at its EEG sample (toward EEG), each trigger once.
    eeg_only = {int(t["eeg_vmrk_position"]) for t in recorded_eeg if t.get("et_recorded", "1") == "0"}
    doubles = {int(t["double_position"]) for t in triggers if t.get("outlier") == "eeg_double"}
    inside = 0
    unmatched = 0
    for m in read_vmrk(indir + "/S01.vmrk"):
        if m["type"] == "New Segment":
            continue
        label = m["type"] + "/" + m["desc"]
        if toward_eeg:
            frame = gapfilled(segments, m["pos"]) - origin
            if frame < 0 or frame >= n:
                continue
            inside += 1
            if at[frame].count(label) != 1:
                fail("%s (recorded at %d) is %d times at frame %d: %s" % (label, m["pos"], at[frame].count(label), frame, at[frame]))
            if m["type"] == "Stimulus" and (m["pos"] in eeg_only or m["pos"] in doubles):
                unmatched += 1
                if ("Comment/unmatched EEG trigger " + m["desc"]) not in at[frame]:
                    fail("%s at frame %d lacks its 'unmatched' comment: %s" % (label, frame, at[frame]))
        elif m["type"] != "Stimulus":
            count = sum(1 for _, d, _ in annotations if d == label)
            if count != 1 and m["desc"] != "Buffer Overflow":
                fail("%s appears %d times" % (label, count))
    if toward_eeg and inside < 10:
        fail("only %d EEG markers inside the window" % inside)
    comments = sum(1 for _, d, _ in annotations if d.startswith("Comment/unmatched EEG trigger"))
    if toward_eeg and comments != unmatched:
        fail("%d 'unmatched' comments for %d unmatched EEG triggers" % (comments, unmatched))

    # Bad intervals: the EEG's lost samples and the tracker's pauses, with their true lengths.
    bad = [(o, o + length, d) for o, d, length in annotations if d.startswith("Bad Interval/")]
    eeg_bad = sorted((a, b) for a, b, d in bad if d == "Bad Interval/EEG not recorded")
    gaze_bad = sorted((a, b) for a, b, d in bad if d == "Bad Interval/gaze not recorded")
    expected_eeg = []
    for s in segments:
        lost = int(s["lost_before"])
        if lost > 0:
            end = int(s["gapfilled_position"]) - 1
            expected_eeg.append((end - lost, end))
    expected_gaze = []
    for k in range(1, len(blocks)):
        expected_gaze.append((blocks[k - 1][1] + gaze_period, blocks[k][0]))
    if toward_eeg:
        want = [(max(0, a - origin), min(n, b - origin)) for a, b in expected_eeg if b - origin > 0 and a - origin < n]
        if want != eeg_bad:
            fail("EEG bad intervals %s, lost samples at %s" % (eeg_bad, want))
        if len(gaze_bad) != sum(1 for a, b in expected_gaze if first_ms < b and a < first_ms + n * 1000.0 / eeg_rate):
            fail("gaze bad intervals %s for tracker pauses %s" % (gaze_bad, expected_gaze))
        for (a, b), (ta, tb) in zip(gaze_bad, [g for g in expected_gaze if first_ms < g[1]]):
            # Toward the EEG a frame is bad when either gaze neighbour is missing.
            length_ms = (b - a) * 1000.0 / eeg_rate
            if abs(length_ms - (tb - ta)) > 2 * 1000.0 / eeg_rate + gaze_period:
                fail("gaze bad interval of %.1f ms for a pause of %.1f ms" % (length_ms, tb - ta))
    else:
        want = [(max(0, int((a - origin) / gaze_period)), min(n, int((b - origin) / gaze_period)))
                for a, b in expected_gaze if b > origin and (a - origin) / gaze_period < n]
        if len(want) != len(gaze_bad) or any(abs(a - c) > 1 or b - a != d - c for (a, b), (c, d) in zip(want, gaze_bad)):
            fail("gaze bad intervals %s, tracker pauses at %s" % (gaze_bad, want))
        inside_eeg = [1 for a, b in expected_eeg
                      if eeg_start_ms + b / per_ms > origin and eeg_start_ms + a / per_ms < origin + n * gaze_period]
        if len(eeg_bad) != len(inside_eeg):
            fail("%d EEG bad intervals for %d losses inside the window" % (len(eeg_bad), len(inside_eeg)))
    if not bad:
        fail("no bad interval at all")

    # MNE leaves the bad stretches out.
    if raw is not None and bad:
        kept = raw.get_data(reject_by_annotation="omit").shape[1]
        if kept != n - intervals_union([(a, b) for a, b, _ in bad]):
            fail("reject_by_annotation keeps %d of %d frames, bad: %s" % (kept, n, bad))
    print("checked: %d frames, %d markers, %d bad intervals, %d unmatched EEG triggers" %
          (n, len(annotations), len(bad), comments))


def main():
    if sys.argv[1] == "prepare":
        prepare(sys.argv[2])
        return 0
    check(sys.argv[2], sys.argv[3], sys.argv[4] == "1")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
