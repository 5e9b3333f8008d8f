#pragma once

#include <cstdint>
#include <string>

// The high-resolution counter (steady clock, nanoseconds) and waits that keep the program responsive.
// Every wait runs the Qt event loop until its deadline: it blocks instead of spinning, and delivers
// serial port notifications, timers and user input meanwhile. A QCoreApplication must exist.

constexpr int64_t TickFrequency = 1'000'000'000;

int64_t GetTick();

// Milliseconds between two counter values.
int64_t TicksToMs(int64_t later, int64_t earlier);

void Delay(int ms);
void PreciseDelay(int ms);
void MsgDelay(int ms);

// "hh:mm:ss:uuuuuu" of the time of day, with the counter's resolution.
std::string TimeStamp();
