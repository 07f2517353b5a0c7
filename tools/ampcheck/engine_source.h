// The acceptance test's captures from a real or simulated amplifier, through the capture engine
// amprecord uses: each step's settings as the panels' commands, its packets with their arrival
// times, and (with --record) every capture into one EDF+ file, each step named in an annotation.
#pragma once

#include "tools/ampcheck/program.h"

namespace ampcheck {

// Opens the first amplifier (the model insisted on, or either), identifies it and powers it on
// with its own sequence; with options.recordPath, creates the recording first. Nothing is sent
// to an amplifier of the wrong model. Destroying the source stops the amplifier in order: 11 if
// it streams, then 2.
std::unique_ptr<CaptureSource> open_amplifier(const Options& options, Identity& identity, std::string& error);

}  // namespace ampcheck
