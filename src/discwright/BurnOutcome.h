#pragma once

namespace torvinel {

// How a burn session ended when it did not fail; a failure is raised as Error instead. It
// lives below the burn session so that the backup run, which is handed the session as a
// function, can read it too.
enum class [[nodiscard]] BurnOutcome{
    Done,
    Cancelled, // Cancel before the drive was locked, or a writer without Track-At-Once
};

} // namespace torvinel
