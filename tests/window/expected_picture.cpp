#include "tests/window/expected_picture.h"

#include "render/raycaster.h"
#include "shell/screen.h"
#include "tests/support/program_state.h"

namespace window_test {

Image expectedStartPicture(Rect rect) {
    resetProgramState();
    openTestScreen();
    renderWidth = rect.w;
    renderHeight = rect.h;
    renderFrame();
    Image image;
    image.width = rect.w;
    image.height = rect.h;
    for (int j = 0; j < rect.h; ++j)
        for (int i = 0; i < rect.w; ++i) image.pixels.push_back(pixelAt(rect.x + i, rect.y + j));
    return image;
}

int countDifferences(const Image& a, const Image& b) {
    if (a.width != b.width || a.height != b.height) return a.width * a.height + b.width * b.height;
    int count = 0;
    for (std::size_t i = 0; i < a.pixels.size(); ++i) count += a.pixels[i] != b.pixels[i];
    return count;
}

}  // namespace window_test
