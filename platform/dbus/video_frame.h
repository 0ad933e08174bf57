// The picture in a frame of a video stream (pipewire_frame.h), read with every figure of the
// frame checked against its buffer.
#pragma once

#include "platform/bitmap.h"
#include "platform/dbus/pipewire_frame.h"

// The frame's picture, or its crop where it has one, at 24 bits per pixel. Throws Exception
// when the size, crop, stride or offset would reach outside the buffer.
Bitmap pictureOfFrame(const PipewireFrame& frame);
