// The replaying half of the tap, for the tap's own files: what the rules' inputs and outputs
// become while a replay plays. Nothing above the console sees this.
#pragma once

#include <cstdint>

#include "console/inputs.h"

// FNV-1a of the whole 40 x 80 buffer, folded to 16 bits: what a frame's checksum is.
std::uint16_t screen_checksum(const unsigned char* screen);

bool replaying();
void stop_replay();

bool replayed_key_waiting();
int replayed_key();
std::int64_t replayed_clock();
void replayed_sleep(int ms);
void replayed_seeding();
int replayed_random();
