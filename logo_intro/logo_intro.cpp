// Placeholder until the intro lands: it ends at once.
#include "logo_intro/logo_intro.h"

void introSetup(GLV*) {}
int introFrame() { return 0; }
