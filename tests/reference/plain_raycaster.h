// The ray caster written plainly: one scalar walk per pixel, in pixel order, every pixel through
// putPixel. It defines the picture; renderFrame must give exactly the same pixels, hitFace and camera
// position. Works on the program's globals (camera, grid, hitFace, renderWidth, renderHeight, screen).
#pragma once

void plainRenderFrame();
