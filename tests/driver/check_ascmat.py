"""Loads an ASC MAT file written by tolmera -m with scipy and checks it against the ASC file itself.

usage: check_ascmat.py <mat file> <asc file> <event-type file> <channel names, comma-separated>
Prints OK and exits 0, or prints the first mismatch and exits 1.
"""
import os
import sys

import numpy as np
import scipy.io

# The shared helpers live in the source tree, which a test run must leave as it found it.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from matcheck import check, fail, field, names  # noqa: E402

EVENT_ORDER = ["EventTypes", "AcqPhases", "RecordSteps", "Sequences", "Displayables", "Frames", "Transitions",
               "FixationSaccadesLeft", "FixationSaccadesRight", "BlinksLeft", "BlinksRight", "Triggers",
               "AllEvents"]
PARAMS = ["binaryFormat", "dataOrientation", "dataType", "segmentationType", "segmentDataPoints", "samplingRate",
          "nbOfChannels", "nbOfSamples", "valNaN", "startTimestamp", "endTimestamp", "channelNames"]
HEADER = ["softwareName", "softwareVersion", "fileName", "subjectName", "subjectSession", "experimentName",
          "screenWidth", "screenHeight", "screenDimXmm", "screenDimYmm", "screenDistance", "frameRate",
          "falseBlinkSamples", "guidingEye"]


def main():
    mat_path, asc_path, event_path, channels = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4].split(",")
    mat = scipy.io.loadmat(mat_path, squeeze_me=False, chars_as_strings=True)
    check([k for k in mat if not k.startswith("__")] == ["EyetrackerAcq"], "one variable EyetrackerAcq")
    top = mat["EyetrackerAcq"][0, 0]
    check(names(top) == ["AscHeader", "Data", "Events"], "top fields %s" % names(top))
    check(names(field(top, "AscHeader")) == HEADER, "AscHeader fields")
    data = field(top, "Data")
    check(names(data) == ["BinaryFormat", "DataOrientation", "DataType", "SegmentationType", "fseek", "Params",
                          "raw"], "Data fields %s" % names(data))
    params = field(data, "Params")
    check(names(params) == PARAMS, "Params fields %s" % names(params))
    for name, kind in [("binaryFormat", np.uint16), ("segmentDataPoints", np.uint32), ("samplingRate", np.float64),
                       ("nbOfChannels", np.uint32), ("nbOfSamples", np.uint32), ("valNaN", np.float64),
                       ("startTimestamp", np.uint32)]:
        check(params[name].dtype == kind and params[name].shape == (1, 1), "class of " + name)
    nb_channels = int(params["nbOfChannels"][0, 0])
    nb_samples = int(params["nbOfSamples"][0, 0])
    start = int(params["startTimestamp"][0, 0])
    rate = float(params["samplingRate"][0, 0])
    check(params["valNaN"][0, 0] == -2000.0, "valNaN")
    listed = [str(n) for n in field(params, "channelNames")]
    check(listed == channels, "channelNames %s" % listed)
    raw = field(data, "raw")
    check(raw.dtype == np.float64 and raw.shape == (nb_channels, nb_samples), "raw %s %s" % (raw.dtype, raw.shape))
    blink = raw[channels.index("blink"), :]
    check(set(np.unique(blink)) <= {0.0, 1.0}, "blink row holds 0 and 1 only")

    text = open(asc_path, "rb").read()
    offsets = [0] + [i + 1 for i, b in enumerate(text) if b == 0x0A and i + 1 < len(text)]
    fseek = field(data, "fseek")
    check(fseek.dtype == np.uint32 and fseek.shape == (1, len(offsets)), "fseek shape %s" % (fseek.shape,))
    check(np.array_equal(fseek[0], np.array(offsets, dtype=np.uint32)), "fseek offsets")

    # Triggers straight from the INPUT lines: each change to a non-zero value, 1-based on the grid.
    period = 1000 // int(rate)
    previous, expected = 0, []
    for line in text.decode("latin-1").splitlines():
        tokens = line.split()
        if len(tokens) >= 3 and tokens[0] == "INPUT" and tokens[1].isdigit():
            value = int(tokens[-1])
            if value != previous:
                previous = value
                index = (int(tokens[1]) - start) // period
                if value != 0 and 0 <= index < nb_samples:
                    expected.append((value, index + 1))
    events = field(top, "Events")
    present = names(events)
    check(present[0] == "EventTypes", "EventTypes first")
    check(present == [n for n in EVENT_ORDER if n in present], "event list order %s" % present)
    if expected:
        triggers = field(events, "Triggers")
        check(names(triggers) == ["value", "time", "fseek"], "Triggers fields")
        check(field(triggers, "value").dtype == np.uint16 and field(triggers, "time").dtype == np.uint32,
              "Triggers classes")
        check(field(triggers, "time").shape == (2, len(expected)), "Triggers.time shape")
        check(list(field(triggers, "value")[0]) == [v for v, _ in expected], "Triggers.value")
        check(list(field(triggers, "time")[0]) == [t for _, t in expected], "Triggers.time vs INPUT lines")
        check(np.array_equal(field(triggers, "time")[0], field(triggers, "time")[1]), "trigger start = end")
    else:
        check("Triggers" not in present, "no Triggers field without triggers")
    for name in present[1:]:
        entries = field(events, name)
        time = field(entries, "time")
        check(time.shape[0] == 2 and time.shape[1] >= 1, name + " time shape")
        check(time.min() >= 1 and time.max() <= nb_samples, name + " times 1-based on the grid")
        check(np.all(time[1] >= time[0]), name + " ends after starts")
        check(field(entries, "value").shape == (1, time.shape[1]), name + " value shape")
    # fseek is the event's 1-based line number: Data.fseek(fseek) in MATLAB is where its own line starts.
    opening = {"Triggers": ("INPUT",), "AcqPhases": ("MSG",), "RecordSteps": ("START",),
               "Sequences": ("MSG", "START"), "Displayables": ("MSG",), "Transitions": ("MSG",),
               "FixationSaccadesLeft": ("SFIX", "SSACC"), "FixationSaccadesRight": ("SFIX", "SSACC"),
               "BlinksLeft": ("SBLINK",), "BlinksRight": ("SBLINK",)}
    words = {"AcqPhases": "BEGIN PHASE", "Displayables": "TRANSITION|Image_Start", "Transitions": "TRANSITION|Image_Start",
             "Sequences": "BEGIN SEQUENCE|SAMPLES"}
    for name in present[1:]:
        if name not in opening:
            continue
        lines = field(field(events, name), "fseek")
        check(lines.dtype == np.uint32 and lines.min() >= 1 and lines.max() <= len(offsets), name + " fseek range")
        for number in lines[0]:
            # An eye event whose start the file never wrote (a block begun within a fixation) has
            # no start line: it names the first line.
            if number == 1 and name.startswith(("Fixation", "Blinks")):
                continue
            begin = offsets[number - 1]
            line = text[begin:text.find(b"\n", begin)].decode("latin-1")
            check(line.split()[0] in opening[name], "%s fseek %d is the line %r" % (name, number, line))
            if name in words:
                check(any(w in line for w in words[name].split("|")), "%s fseek %d is the line %r" % (name, number, line))
    for eye in ["Left", "Right"]:
        name = "FixationSaccades" + eye
        if name in present:
            entries = field(events, name)
            check(field(entries, "startPos").shape == (2, field(entries, "time").shape[1]), name + " startPos")

    types = field(events, "EventTypes")
    codes = list(field(types, "value")[0])
    check(codes == sorted(set(codes)), "EventTypes codes ascending, once each")
    rows = [line.split() for line in open(event_path).read().splitlines()]
    check([int(r[0]) for r in rows] == codes, "event-type file codes")
    check([r[1] if len(r) == 3 else "" for r in rows] == [str(n) for n in field(types, "name")], "names")
    check([int(r[-1]) for r in rows] == list(field(types, "count")[0]), "counts")
    print("OK")


main()
