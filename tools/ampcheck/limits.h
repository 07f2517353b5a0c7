// Every pass or fail limit of the acceptance test, with the reason for it. The report prints
// each beside the value it judges. The amplifier's absolute scale is not known to the bench, so
// most limits compare channels with each other, ranges with each other, or a filter's output
// with its input.
#pragma once

namespace ampcheck::limits {

// The amplifier's sample clock is a crystal (parts per million). One percent leaves room for the
// host's clock and its scheduling over a half-minute run, and still catches a wrong or drifting
// rate, which would scale every frequency on the chart.
inline constexpr double kSampleRatePercent = 1.0;

// A read that brings less than a whole packet is data the panels throw away.
inline constexpr double kShortReads = 0;

// Samples lost from the stream leave a hole in every recording and measurement made from it.
inline constexpr double kLostPackets = 0;

// The amplifier holds 64 packets (one second) while the host is away. A silence of half that
// puts the stream close to losing samples and shows on the chart as a jump.
inline constexpr double kGapS = 0.5;

// The calibration generator is crystal-tuned in steps of 0.00093 Hz; timing its edges at 256
// samples a second is good to a tenth of a percent. One percent catches a wrong tuning word or a
// generator clock that is off, without failing on measurement.
inline constexpr double kCalibrationFrequencyPercent = 1.0;

// A channel whose calibration wave is less than half as tall as its neighbours' is not
// mis-gained but not passing the signal: an open input, a dead or frozen converter.
inline constexpr double kLiveSharePercent = 50.0;

// Channels are read against each other (montages subtract them): a 2 % mismatch leaves 2 % of a
// common signal in a difference trace, about what the eye can tell on the chart.
inline constexpr double kGainMatchPercent = 2.0;

// The calibration steps come from one generator; a front end that bends them by more than 2 % of
// the full step distorts EEG by as much. Noise on a one-second capture moves the heights by a
// few hundredths of that.
inline constexpr double kLinearityPercent = 2.0;

// A range switch must change the gain by the ratio of the ranges; each range is set by 1 %
// parts, and a ratio of two can be off by 2 %.
inline constexpr double kRangeRatioPercent = 2.0;

// A healthy amplifier on the bench picks up about 12 µV of mains at its inputs. Twice that
// points at a broken shield, ground or input, and buries the amplifier's own faults.
inline constexpr double kMainsUv = 25.0;

// A notch that takes less than 20 dB off the mains line (a tenth of its amplitude) leaves it
// visible on the chart at the 50 µV range.
inline constexpr double kNotchRejectionDb = 20.0;

// Inputs of one amplifier have much the same noise. Twice the others' (four times the power) is
// a visibly thicker trace; measuring between 70 and 95 Hz keeps EEG, mains and its harmonics out.
inline constexpr double kNoiseRatio = 2.0;
inline constexpr double kNoiseBandLowHz = 70.0;
inline constexpr double kNoiseBandHighHz = 95.0;

// Electrodes above 10 kΩ let mains and movement into the EEG; --max-impedance changes it.
inline constexpr double kDefaultMaxImpedanceKohm = 10.0;

}  // namespace ampcheck::limits
