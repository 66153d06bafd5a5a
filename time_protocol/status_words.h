// The words of horavane-cmd's status file that the worker window reads back, named once so that both programs
// write and look for the same text.
#pragma once

namespace StatusWords {
inline constexpr char kCompleted[] = "The command completed successfully.";
inline constexpr char kCurrentTimeAt[] = "Current time at ";
inline constexpr char kSystemError[] = "System error";
inline constexpr char kCorrectedBy[] = "Clock corrected by ";
inline constexpr char kAlreadyRight[] = "Clock already right";
inline constexpr char kNotSet[] = "Clock not set: ";
// Stands in the status file while a run's correction is with the clock service, which may be waiting for a
// password: the run is alive and its result is still to come.
inline constexpr char kWaitingForClockService[] = "Waiting for the clock service to set the clock.";
} // namespace StatusWords
