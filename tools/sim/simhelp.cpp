#include "simoptions.h"

std::string SimHelpText() {
  return R"(tolmera-sim: writes a paired EEG (BrainVision) and eye-tracker (EyeLink ASC) recording of one
imagined experiment, from one true time line, with its ground truth. The same seed and options always
give byte-identical files.

Usage: tolmera-sim [options]        (tolmera-sim --out DIR --name S01 writes a small valid pair)

Output, in --out DIR:
  NAME.vhdr NAME.vmrk NAME.eeg   the EEG recording, as BrainVision Recorder writes it
  NAME.asc                       the eye-tracker recording, as EDF2ASC exports it
  NAME.truth.txt                 the ground truth (below)
  NAME.ttl                       with --ttl: reference TTL file (microseconds since the first trigger, code)

General
  --out DIR              output folder, created when missing (default .)
  --name NAME            base name of every file (default S01)
  --seed N               seed of every random choice (default 1)
  --duration S           eye-tracker span from the first block start to the last block end (default 60)
EEG
  --eeg-rate HZ          nominal sampling rate (default 500)
  --channels N           channel count, the last one being the TrueTime channel (default 8)
  --format T             int16 | float32 | float64 (default int16)
  --segments N           New Segments made by pausing the recording, evenly spread (default 1: no pause)
  --segment-loss MS      recording time lost at each pause (default 500)
  --overflow MS          a buffer overflow losing MS of recording, with its triggers (default 0: none)
  --overflow-at S        its time in seconds after the first block start (default: middle of the
                         block nearest to mid-recording)
Eye tracker
  --gaze-rate HZ         250 | 500 | 1000 | 2000 (default 500)
  --half-ms-timestamps   at 2000 Hz write the second sample of each millisecond as "T.5" (EDF2ASC's
                         fraction option) instead of repeating "T"; INPUT and event lines stay whole
  --eyes E               left | right | both (default both)
  --velocity             velocity columns in the samples
  --pupil P              area | diameter (default area)
  --blocks N             START ... END recording blocks (default 2)
  --block-gap MS         pause between blocks, at least 10 (default 1500)
  --asc-crlf             CR LF line ends in the .asc
Clocks
  --drift PPM            the EEG clock runs fast by PPM parts per million (default 15)
  --offset MS            EEG start relative to the first tracker block start (default -2000)
Triggers
  --trigger-interval MS  mean spacing, jittered by +-40 % (default 1000)
  --pattern P            random | repeat (codes 1..K in turn) | adjacent (random codes; every K-th
                         trigger is followed by a second code one EEG sample later) (default random)
  --code-max N           highest code, 1..255 (default 255); --code-max 1 is a single-code session:
                         every trigger has code 1 (with any pattern but adjacent)
  --repeat-cycle K       K of the repeat pattern (default 3, or --code-max when that is lower)
  --adjacent-every K     K of the adjacent pattern (default 5)
  --pulse MS             pulse width: the port returns to 0 after it (default 5)
  --coincident           put each edge on a tracker sample of a whole millisecond that lies at most
                         --coincide-tolerance EEG samples before an EEG sample, so both devices register
                         it with no quantisation error. With drift such instants come in windows, so
                         triggers are sparser; with --drift 0 and an offset of whole EEG periods they
                         are everywhere.
  --coincide-tolerance X in EEG samples (default 0.001)
  --ttl                  also write the reference TTL file
Imperfections (each off by default; --coincident works with all of them)
  --date-error MS        the recording PC's clock stamps every New Segment date (the first one too)
                         with its own error, uniform in +-MS ms (rounded to the microsecond)
  --tracker-grid         the tracker registers an edge on its sample grid: the INPUT timestamp is the
                         first sample timestamp at or after the edge (steps of 4 ms at 250 Hz, 2 ms at
                         500 Hz) instead of the next whole millisecond
  --outliers N           N triggers, drawn among those both devices record, that one device (EEG or
                         tracker, at random) misses, or registers twice: the same code again, one pulse,
                         one tracker period and 1 to 5 ms after the edge (a second .vmrk marker, or a
                         second INPUT pulse)
  --eeg-start-late K     the EEG starts after the first K triggers of the session (between the K-th
                         trigger's pulse and the next edge, on one of the samples it would have taken)
  --eeg-stop-early K     the EEG stops before the last K triggers
  --tracker-start-late K the tracker's recording starts after the first K triggers (blocks before are
                         dropped, the block holding that moment starts there)
  --tracker-stop-early K the tracker's recording stops before the last K triggers
                         Counts are in the session's triggers (recorded or not) and may not cut an
                         adjacent pair; refused (exit 2) when they leave a device no trigger, fewer than
                         N triggers can take an outlier, or no sample lies between the two triggers.
Trigger messages (each off by default)
  --message-triggers KEYWORD
                         the stimulus program also sends the tracker a message for each trigger the
                         tracker records: a line "MSG<TAB><stamp> KEYWORD <code>" (e.g. "trigger:",
                         TRIGGER, TRIALID). Printable text, words split by single blanks, not starting
                         with a digit or a sign; refused when a --structure message would read as
                         KEYWORD followed by a code (TRIALID with --structure)
  --message-delay MS     constant network delay of every message after its edge, -1000..1000 (default 0;
                         negative: the message is sent before the TTL)
  --message-jitter MS    latency on top of the delay, uniform in [0, MS), at most 1000 (default 0).
                         The message arrives at true time t + delay + jitter; its timestamp is that
                         rounded up to the next whole millisecond (never on the --tracker-grid sample
                         grid). A jitter can push a message past the next one's: the file lists them
                         by timestamp, as EDF2ASC does
  --message-offset       EyeLink's offset field: "MSG<TAB><stamp> <offset> KEYWORD <code>", the offset a
                         random integer in -8..8 but never 0, and stamp = arrival timestamp + offset, so
                         that the event time stamp - offset is the arrival timestamp
  --message-noise N      N more keyword messages at random times within the recording, whose text is no
                         code: NA, none, -1, 0, 65536 or 70000 (with an offset field under
                         --message-offset)
  --no-input             no INPUT lines at all, not even the idle port's at a block start: only the
                         messages carry the codes
                         A tracker double (--outliers) sends its message twice, a trigger the tracker
                         misses or does not record (cuts) has none. --message-delay, --message-jitter,
                         --message-offset, --message-noise and --no-input need --message-triggers.
Eye events and experiment structure
  --no-eye-events        no fixations, saccades or blinks
  --blink-interval MS    mean spacing of blinks, 0 for none (default 4000)
  --false-blinks F       share of blinks 1 to 3 samples long (default 0.3)
  --structure            the stimulus program's messages: identity and screen, phases, sequences,
                         BEGIN/END TRANSITION of image, text, video (with BEGIN FRAME) and special
                         items, TRIALID, 'Stimulus, Image_Start, reponse

Exit codes: 0 when every file was written, 1 when one could not be written, 2 on a bad argument.

Clock model
  True time t is the eye tracker's clock in milliseconds: a tracker timestamp is true time. The EEG's
  gap-filled sample position (0-based, counting the samples lost in pauses and overflows) of time t is
      x(t) = (t - eeg_start_ms) * eeg_rate_hz * (1 + drift_ppm * 1e-6) / 1000
  with eeg_start_ms = first block start + offset (the planned first block start; with
  --eeg-start-late, the EEG's actual first sample). A trigger edge at t is registered by the tracker's
  INPUT line at timestamp ceil(t) (with --tracker-grid: the first sample timestamp >= t) and by the
  EEG at gap-filled sample ceil(x(t)). The New Segment date of a segment is the recording date plus its
  gap-filled start at the nominal rate (plus its error with --date-error), so without date errors the
  difference of two segment dates in samples, rounded, is the recorded samples between them plus the
  samples lost.
  A buffer overflow writes "Comment,Buffer Overflow" and a New Segment at the same position.

Ground truth (NAME.truth.txt): plain text, '#' starts a comment, sections in brackets.
  [recording]  key=value: seed, name, eeg_channels, eeg_clock_channel (number,name), eeg_rate_hz,
               eeg_sample_type, eeg_recorded_samples (in the .eeg), eeg_gapfilled_samples (recorded
               plus lost), gaze_rate_hz, eyes, velocity, tracker_start_ms (origin of the tracker's
               sample grid: the planned first block start), and one
               block=first timestamp,last timestamp,samples per recording block
  [clock]      key=value: model (the formula above), eeg_start_ms, drift_ppm, offset_ms,
               eeg_samples_per_ms, clock_channel, gaze_x; tracker_registration=sample_grid with
               --tracker-grid; with --message-triggers message_keyword, message_delay_ms,
               message_jitter_ms, message_offset_field (1 with --message-offset) and
               tracker_input_lines (0 with --no-input)
  [segments]   CSV with a header line: index, kind (start | pause | overflow), vmrk_position (1-based,
               as in the .vmrk), gapfilled_position (1-based), recorded_samples, lost_before (samples
               lost just before the segment), date (20 digits, as in the .vmrk); with --date-error
               also date_error_us (date minus true_date) and true_date (the EEG's nominal clock)
  [triggers]   CSV with a header line, one row per trigger in time order: index, code, true_ms,
               et_timestamp (its INPUT line, or where it would be when the tracker did not record
               it), eeg_vmrk_position (1-based, 0 when not in the .vmrk), eeg_gapfilled_position
               (1-based; <= 0 before the EEG's start), eeg_lost (1 when the EEG was not recording:
               a pause, an overflow, before its start or after its end), adjacent (1: one EEG sample
               after the previous trigger), coincident. With --outliers or a start or stop knob also
               eeg_recorded and et_recorded (1: a .vmrk marker / an INPUT line for it), outlier
               (none | eeg_missed | et_missed | eeg_double | et_double), double_true_ms (the second
               edge of a double, else 0) and double_position (1-based .vmrk position of an EEG
               double, INPUT timestamp of a tracker double, else 0)
               With --message-triggers also msg_arrival_ms (the message's true arrival), msg_timestamp
               (the stamp printed after MSG) and msg_offset (its offset field, 0 without
               --message-offset), filled for triggers the tracker did not record too (where the
               message would be); with faults columns also msg_double_timestamp and
               msg_double_offset (a tracker double's second message, else 0)
  [message_noise]  with --message-noise: CSV with a header line, one row per stray message: index,
               arrival_ms, timestamp, offset, value (the text after the keyword)

Checking alignment in a merged output
  The EEG's last channel, TrueTime (resolution 0.1 uV), holds t mod 1600 in uV (t in ms): its stored
  value times 0.1 is the millisecond of true time within a 1600 ms cycle (quantised to 0.1 ms in int16
  files). The gaze x of every valid sample is 100 + (t mod 1600) / 2 pixels for the left eye and
  120 + (t mod 1600) / 2 for the right eye (stored as pixels, resolution 1, in a merged recording).
  At every merged frame with a valid gaze, compare  a = 0.1 * stored TrueTime  with
  b = 2 * (left gaze x - 100)  (or 2 * (right gaze x - 120)): aligned streams give a = b (mod 1600),
  and a - b is the misalignment in ms at that frame. Skip frames within a few ms of the 1600 ms wrap,
  where an interpolated value mixes both ends of the cycle.
)";
}
