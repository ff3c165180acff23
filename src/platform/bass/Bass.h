#pragma once
// The music player the show calls: the BASS_* functions below, implemented over libxmp.
//
// Time and cues. The player renders the module tick by tick. Every sync it reaches is stamped
// with the time (in the audio stream, seconds since playback started) at which its row is heard
// and queued; no sync action ever runs on the audio thread. The main thread runs the queued
// actions with BASS_RunSyncs(seconds) before it draws a frame of that time.
//
// Outputs, chosen with BASS_SetOutput before BASS_Init:
//   Device  - the SDL2 audio device; the clock is the time of the audio heard, from the frames
//             the device has consumed, smoothed with a steady clock between its callbacks. When
//             no device opens, the player warns once on standard error and runs Silent. When
//             the device stops taking audio for a quarter of a second, or is taken away, the
//             player warns, runs on as Silent from where the sound stopped, and opens the
//             default device again (tried every second) to resume the sound at that time.
//   Silent  - no sound; a player thread renders in real time against a steady clock (same
//             timing, same level meter, same syncs).
//   Offline - no thread; the caller renders the audio up to each frame's time with
//             BASS_RenderOffline and so drives the clock. Deterministic.
//
// Playback never ends: after the last order it continues at the module's restart position, and
// position syncs fire again on every pass. Only one music is loaded at a time.
//
// Every function may be called from the main thread only.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using HMUSIC = uint32_t;
using HSYNC = uint32_t;

// A sync action: (sync handle, music handle, data, user value). For a position sync, data is
// order | row << 16; for an instrument sync, data is the note (0 = C-0) | channel << 16.
using SYNCPROC = void (*)(HSYNC handle, uint32_t channel, uint32_t data, uint32_t user);

// Sync types. Position: parameter = order | row << 16, fires when that row starts.
// Instrument: parameter = instrument (1 = first) | note << 16, note 0xFFFF meaning any note;
// fires for every note of that instrument triggered on a row.
constexpr uint32_t BASS_SYNC_POS = 0;
constexpr uint32_t BASS_SYNC_INST = 1;

enum class BassOutput { Device, Silent, Offline };

// Opens the output chosen with BASS_SetOutput at `freq` frames per second (8000..48000).
// `device` -2 asks for no sound: a Device output then runs Silent. `flags` and `window` are
// not used. Fails when already initialised.
bool BASS_Init(int device, uint32_t freq, uint32_t flags, void* window);

// Starts the output (a music plays only after BASS_MusicPlay).
bool BASS_Start();

// 0x80000.
uint32_t BASS_GetVersion();

// Output volume 0..100 (100 = full).
bool BASS_SetVolume(uint32_t volume);

// Loads a module, from the file named by `file` (mem false; a nonzero offset or length selects
// that part of the file) or from `length` bytes at `file` + `offset` (mem true). `flags` are
// accepted and not used: playback always loops. Returns the music handle, 0 on failure (see
// BASS_GetErrorText).
HMUSIC BASS_MusicLoad(bool mem, const void* file, uint32_t offset, uint32_t length, uint32_t flags);

// Releases the loaded music (stopping it) and its syncs.
bool BASS_MusicFree(HMUSIC handle);

// Registers a sync; returns its handle, 0 on failure. Syncs of one event run in registration
// order.
HSYNC BASS_ChannelSetSync(uint32_t handle, uint32_t type, uint32_t param, SYNCPROC proc, uint32_t user);

// Amplification 0..100; 50 is unity gain. The player's gain is volume / 100 * amplify / 50,
// given to libxmp's master volume (100 = unity, at most 200 = twice) whose mixer saturates.
bool BASS_MusicSetAmplify(HMUSIC handle, uint32_t amplify);

// Kept for the caller; positions are not reported by this player, so it has no effect.
bool BASS_MusicSetPositionScaler(HMUSIC handle, uint32_t scale);

// Starts playback at the order set by BASS_SetStartOrder (0 by default); resumes after a stop.
bool BASS_MusicPlay(HMUSIC handle);

// Left peak in the low 16 bits, right in the high 16 bits, each 0..128: the largest magnitude
// of the 16-bit samples heard in the last 20 ms, times 128 / 32768. 0 when nothing plays.
uint32_t BASS_ChannelGetLevel(uint32_t handle);

// The level of the 20 ms of music that end at `seconds` of playback (frame
// llround(seconds * freq)), from the samples the player rendered, whatever the output has
// played: the same value a window and an offline render see for the same time.
uint32_t BASS_ChannelGetLevelAt(uint32_t handle, double seconds);

// Stops playback; the clock stops with it.
bool BASS_ChannelStop(uint32_t handle);

// Closes the output and releases the music, its syncs and every setting (output, start order,
// volume) so that BASS_Init may be called again.
bool BASS_Free();

// --- Calls of this player beyond the set above ---

// Chooses the output of the next BASS_Init (default Device).
void BASS_SetOutput(BassOutput output);

// The output in use after BASS_Init (Silent when a Device could not be opened).
BassOutput BASS_GetOutput();

// The order at which the next BASS_MusicPlay starts.
void BASS_SetStartOrder(int order);

// The devices a Device output opens from the next BASS_Init on (tests give devices that
// misbehave); empty for SDL's default output. BASS_Free forgets it.
class AudioDevice;
void BASS_SetDeviceFactory(std::function<std::unique_ptr<AudioDevice>()> factory);

// Why the last failing call failed, e.g. libxmp's reason for a module that does not load.
std::string BASS_GetErrorText();
// Seconds of one pass through the loaded module's order list (0 if unknown).
double BASS_MusicGetPassSeconds(HMUSIC handle);
// Entries in the loaded module's order list (0 if unknown).
int BASS_MusicGetOrderCount(HMUSIC handle);

// The show's clock: seconds of audio heard since playback started (Offline: the time of the
// last BASS_RenderOffline). Never decreases; 0 before playback.
double BASS_GetSeconds();

// Offline output only: renders the audio up to `seconds` (frame llround(seconds * freq)),
// queues every sync whose row starts at or before `seconds`, and appends the new frames to
// `samples` as interleaved 16-bit stereo (left first). Returns the number of frames appended.
size_t BASS_RenderOffline(double seconds, std::vector<int16_t>& samples);

// Runs, on the calling thread, every queued sync stamped at or before `seconds`, in the order
// the player reached them. Returns how many ran. Actions may call the player. A real-time
// output first renders up to `seconds` (at most a second past its clock), so no sync of that
// time is still waiting to be rendered.
int BASS_RunSyncs(double seconds);
