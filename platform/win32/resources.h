// Resource numbers of kelvara.rc.
#pragma once

#define KELVARA_ICON 1
#define KELVARA_PREVIEW_LOGO 101
