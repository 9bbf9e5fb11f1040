"""Loads the MAT file of a merged output set with scipy and checks it against the set's own marker file.

usage: check_syncmat.py <mat file> <merged .vmrk file> <number of shared triggers>
Prints OK and exits 0, or prints the first mismatch and exits 1.
"""
import os
import sys

import numpy as np
import scipy.io

# The shared helpers live in the source tree, which a test run must leave as it found it.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from matcheck import check, field, names  # noqa: E402


def main():
    mat_path, vmrk_path, pairs = sys.argv[1], sys.argv[2], int(sys.argv[3])
    mat = scipy.io.loadmat(mat_path, squeeze_me=False)
    check([k for k in mat if not k.startswith("__")] == ["EegAcq"], "one variable EegAcq")
    top = mat["EegAcq"][0, 0]
    check(names(top) == ["Eyetracker", "Data", "Events"], "top fields")
    eyetracker = field(top, "Eyetracker")
    check(names(eyetracker) == ["AscHeader", "Params", "Data"], "Eyetracker fields")
    check("channelNames" not in names(field(eyetracker, "Params")), "no channel names on the gaze side")
    check(names(field(eyetracker, "Data")) == ["fseek"], "Eyetracker.Data")
    data = field(top, "Data")
    check(names(data) == ["Synchro", "BinaryFormat", "DataOrientation", "DataType", "SegmentationType", "Params"],
          "Data fields %s" % names(data))
    synchro = field(data, "Synchro")
    check(names(synchro)[:3] == ["gazeReferenceAsc", "gazeReference", "trueSamplingRate"], "Synchro order")
    check(names(synchro)[-1] == "R2" and synchro["R2"].dtype == np.float64, "R2")
    check(int(synchro["nbOfTriggers"][0, 0]) == pairs and synchro["nbOfTriggers"].dtype == np.uint32, "pairs")
    for name, kind in [("triggerValues", np.uint16), ("triggerGazeOffset", np.uint32),
                       ("triggerEegOffset", np.uint32), ("diffs", np.int16)]:
        check(synchro[name].dtype == kind and synchro[name].shape == (1, pairs), name)
    check(synchro["triggerGazeOffset"][0, 0] == 0, "offsets count from the first pair")

    # The set's markers as its marker file lists them, 1-based.
    stimuli = []
    for line in open(vmrk_path, encoding="utf-8").read().splitlines():
        if line.startswith("Mk") and "=Stimulus," in line:
            parts = line.split("=", 1)[1].split(",")
            stimuli.append((int(parts[1][1:]), int(parts[2])))
    events = field(top, "Events")
    triggers = field(events, "Triggers")
    expected = [(c, p) for c, p in stimuli if c < 1000]
    check(list(field(triggers, "value")[0]) == [c for c, _ in expected], "Triggers.value vs marker file")
    check(list(field(triggers, "time")[0]) == [p for _, p in expected], "Triggers.time vs marker file")
    everything = field(events, "AllEvents")
    values, times = field(everything, "value")[0], field(everything, "time")[0]
    kept = [(int(v), int(t)) for v, t in zip(values, times)]
    segments = field(events, "Segments") if "Segments" in names(events) else None
    if segments is not None:
        check(list(field(segments, "time")[:, 0]) == [1, 2], "segment entry at the first sample")
        kept.remove((256, 1))
    check(kept == stimuli, "AllEvents vs marker file")
    print("OK")


main()
