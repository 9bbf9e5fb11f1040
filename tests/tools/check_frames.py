"""Checks the video frames of a run with -v -m against the ASC file that the simulator wrote: every
BEGIN FRAME message is one Frame event on its own sample in the ASC MAT file, every video counts all
of its frames, and the merged set's MAT file, marker file and event file list the same frames.

usage: check_frames.py <asc file> <asc MAT file> <merged MAT file> <merged .vmrk> <merged .event.txt>
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

FRAME, VIDEOS = 1005, (1003, 1004)


def main():
    asc_path, asc_mat, merged_mat, vmrk_path, event_path = sys.argv[1:6]

    # The frames as the stimulus program announced them, and the announced count of each video.
    frame_stamps, videos = [], []
    for line in open(asc_path, encoding="latin-1").read().splitlines():
        tokens = line.split()
        if len(tokens) >= 5 and tokens[0] == "MSG" and tokens[2:4] == ["BEGIN", "FRAME"]:
            frame_stamps.append(int(tokens[1]))
        if len(tokens) >= 18 and tokens[0] == "MSG" and tokens[2:4] == ["BEGIN", "TRANSITION"] \
                and tokens[9].startswith("VIDEO"):
            videos.append(int(tokens[-6]))
    check(len(videos) > 0 and len(frame_stamps) == sum(videos), "the recording has videos with their frames")

    top = scipy.io.loadmat(asc_mat)["EyetrackerAcq"][0, 0]
    params = field(field(top, "Data"), "Params")
    period = int(1000 // params["samplingRate"][0, 0])
    start = int(params["startTimestamp"][0, 0])
    events = field(top, "Events")
    check("Frames" in names(events), "Events.Frames in the ASC MAT file")
    frames = field(events, "Frames")
    expected = [(s - start) // period + 1 for s in frame_stamps]
    check(list(field(frames, "time")[0]) == expected, "Frames.time against the BEGIN FRAME messages")
    check(np.array_equal(field(frames, "value")[0], np.full(len(expected), FRAME)), "Frames.value")
    every = field(events, "AllEvents")
    check(int(np.sum(field(every, "value")[0] == FRAME)) == len(expected), "frames in AllEvents")
    shown = field(events, "Displayables")
    kinds = field(shown, "value")[0]
    played = field(shown, "framePlayed")[0][np.isin(kinds, VIDEOS)]
    announced = field(shown, "frameNb")[0][np.isin(kinds, VIDEOS)]
    check(list(announced) == videos, "frameNb of the videos")
    check(list(played) == videos, "framePlayed of the videos %s against %s" % (list(played), videos))
    check(np.all(field(shown, "frameFirst")[0][np.isin(kinds, VIDEOS)] == 0), "frameFirst of the videos")

    # The merged set: the frames inside its window, the same in its MAT, marker and event files.
    merged = field(scipy.io.loadmat(merged_mat)["EegAcq"][0, 0], "Events")
    check("Frames" in names(merged), "Events.Frames in the merged MAT file")
    merged_times = list(field(field(merged, "Frames"), "time")[0])
    marked = []
    for line in open(vmrk_path, encoding="utf-8").read().splitlines():
        if line.startswith("Mk") and "=Stimulus," in line:
            parts = line.split("=", 1)[1].split(",")
            if int(parts[1][1:]) == FRAME:
                marked.append(int(parts[2]))
    check(len(marked) > 0 and marked == merged_times, "frames of the marker file against the merged MAT file")
    counts = {int(r.split()[0]): int(r.split()[-1]) for r in open(event_path).read().splitlines() if r.strip()}
    check(counts.get(FRAME) == len(marked), "frame count of the event file")
    # The window keeps every frame between its first and last trigger, and their spacing.
    check(len(marked) <= len(expected), "no more frames than played")
    print("OK")


main()
