#pragma once
// The display: the console, the 512 x 384 off-screen surface the frames are drawn in (the
// layers see it as `screen`, core/ShowObjects.h), and how a finished frame reaches the
// console (whole, or into the centre of a 640 x 480 console).

#include "core/Bitmap.h"
#include "platform/ptc/Console.h"
#include "platform/ptc/Surface.h"

extern ptc::Console* console;
extern ptc::Surface* offscreen;
// The console is 640 x 480 and frames go into its centre.
extern bool centred;

// Copies `offscreen` to the console and presents it.
void presentOffscreen();

// The loading screen: the loading gauge drawn with `fraction` of the work done, presented.
void showProgress(double fraction);
