// Colour converter: one captured frame (blue-green-red, 3 bytes a pixel, bottom
// row first, no row gap) into the three planes of a planar YUV 4:2:0 picture
// (top row first; Y row step `width`, U and V row step `width` / 2).
//
// Full-range BT.601 in 16.16 fixed point through eight process-wide tables.
// Chroma of a 2 x 2 block is the mean of its four pixels' own chroma values,
// each floored and offset by 128 before averaging.
//
// Threads: RgbToYuv420 runs on the encoder worker thread only. The rebuild
// marker (yFromRed[0] = 255) is set by VideoWriter::open on the UI thread
// before that conversion's worker starts; the tables themselves are written
// only by RgbToYuv420. No lock is taken.
#pragma once

#include <cstdint>

// Entry i holds coefficient x i, coefficient in 16.16 fixed point. yFromRed[0]
// doubles as the rebuild marker: 255 there makes the next conversion rebuild
// all eight tables (which puts the 0 back). All zero at program start.
extern int32_t yFromRed[256];    //  19595: 0.299
extern int32_t yFromGreen[256];  //  38470: 0.587
extern int32_t yFromBlue[256];   //   7471: 0.114
extern int32_t uFromRed[256];    // -11059: -0.16874
extern int32_t uFromGreen[256];  // -21709: -0.33126
extern int32_t chromaHalf[256];  //  32768: 0.5 (blue term of U, red term of V)
extern int32_t vFromGreen[256];  // -27439: -0.41869
extern int32_t vFromBlue[256];   //  -5329: -0.08131

// Converts a width x height frame. Rebuilds the tables first when marked.
// height <= 0 or width <= 0 writes nothing. width and height must be even;
// frame holds width*height*3 bytes, yPlane width*height, uPlane and vPlane
// (width/2)*(height/2) bytes each. Uses a vector path (AVX2 or SSSE3) when the
// processor has one; its output is identical to RgbToYuv420Reference.
void RgbToYuv420(const uint8_t* frame, uint8_t* yPlane, uint8_t* uPlane, uint8_t* vPlane, int32_t width,
                 int32_t height);

// The plain table walk, one 2 x 2 block at a time, exactly as the arithmetic
// is defined. Same contract as RgbToYuv420 (including the rebuild).
void RgbToYuv420Reference(const uint8_t* frame, uint8_t* yPlane, uint8_t* uPlane, uint8_t* vPlane, int32_t width,
                          int32_t height);

// The path RgbToYuv420 takes: "avx2", "ssse3" or "scalar" (the table walk).
// By default the fastest one this processor has.
const char* RgbToYuv420PathName();

// Makes RgbToYuv420 take the named path; false (nothing changed) when the
// name is unknown or the processor lacks it. For tests and benchmarks, while
// no conversion runs.
bool RgbToYuv420UsePath(const char* name);
