// The picture the program's own ray caster draws for the start world and the start camera, rendered
// in this process on a headless surface: what the window must show at start, apart from the last bits
// that the per-pass turns by angle 0 leave in the camera's vectors.
#pragma once

#include "tests/window/x_harness.h"

namespace window_test {

Image expectedStartPicture(Rect rect);
// The number of pixels in which two pictures of the same size differ.
int countDifferences(const Image& a, const Image& b);

}  // namespace window_test
