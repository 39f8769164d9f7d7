#include "camera/camera.h"

Camera camera = startCamera;
