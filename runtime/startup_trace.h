#pragma once
// Where start-up time goes: with the environment variable
// SNIPORA_STARTUP_TRACE naming a file, the program notes the performance
// counter at named steps of its start and writes them to that file when its
// message loop ends, one "step<TAB>counter" line each. Unset, a step costs
// one test of a flag read once. The benchmark (bench/start_pair.cpp) reads
// the file; the counter is the machine's, so it lines up with the starter's.
namespace snipora {

// Notes the first time `step` is reached (a string literal: it is kept, not
// copied); later calls with the same step are ignored.
void MarkStartup(const char* step);

// Writes the steps noted so far to the file, once.
void WriteStartupTrace();

}  // namespace snipora
