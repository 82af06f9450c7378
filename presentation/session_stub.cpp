// Placeholder until presentation control is built: the commands do nothing.
#include "presentation/powerpoint_session.h"
#include "presentation/slide_show.h"

PowerPointSessionRecord PowerPointSession;

void StopPowerPoint() {}

void HandleSlideShowCommand(const std::string&, const std::string&) {}
