// A picture from a folder tree of the user's, for the saver host's image settings: as
// XScreenSaver's own image savers take one when its settings allow random images from a folder.
#pragma once

#include "platform/bitmap.h"

#include <string>

// A JPEG or PNG picture chosen at random under folder, among the files that XScreenSaver's
// image loader would choose from: names ending in .jpg, .jpeg, .pjpeg, .pjpg or .png in any
// case, in the folder and every folder below it (links followed, each folder once), except
// names that start with a dot or end in '~', '%' or '#'. A file that cannot be read or is no
// picture makes way for another. A JPEG picture larger than atLeastWidth x atLeastHeight comes
// shrunk (platform/jpeg_decoder.h). The walk, the files and the pictures have bounds, so a huge
// tree or file costs a bounded time and memory. Throws Exception naming the folder when it
// holds no picture that can be read.
Bitmap pictureFromFolder(const std::string& folder, int atLeastWidth, int atLeastHeight);
