#include "shell/form_art.h"

#include "data/art.h"
#include "shell/maker_link.h"

FormArt storedFormArt() {
    return FormArt{previewLogoBitmap(), iconBitmap(32), iconBitmap(16), makerUrlText};
}
