"""Reads merged BrainVision recordings with MNE and prints what it saw, one JSON object per line.

Usage: mne_read.py FILE.vhdr [FRAME ...]
For each frame index given, the values of every channel at that frame are printed in the file's
own stored units (MNE's volts divided back by each channel's resolution); then the annotations and
the event id that mne.events_from_annotations gives each description.
"""
import json
import sys
import warnings

import mne

mne.set_log_level("ERROR")


def main():
    path = sys.argv[1]
    frames = [int(a) for a in sys.argv[2:]]
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        raw = mne.io.read_raw_brainvision(path, preload=False, verbose="ERROR")
    out = {
        "ch_names": raw.ch_names,
        "sfreq": raw.info["sfreq"],
        "n_times": int(raw.n_times),
        "frames": {},
        "annotations": [],
        "event_ids": {},
    }
    cals = [ch["cal"] * ch["range"] for ch in raw.info["chs"]]
    for f in frames:
        data = raw.get_data(start=f, stop=f + 1)[:, 0]
        out["frames"][str(f)] = [float(v) / c if c else float(v) for v, c in zip(data, cals)]
    for a in raw.annotations:
        out["annotations"].append([round(float(a["onset"]) * raw.info["sfreq"]), a["description"]])
    # The event id MNE gives each marker description by default: a trigger's own code when the
    # description follows BrainVision's form.
    _, ids = mne.events_from_annotations(raw, verbose="ERROR")
    out["event_ids"] = {k: int(v) for k, v in ids.items()}
    print(json.dumps(out))


if __name__ == "__main__":
    main()
