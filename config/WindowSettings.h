#pragma once
// What the main window remembers of how the user left it: where it stood and how large it
// was, and whether the Activity view takes typing. Neither belongs to the settings dialog's
// table; they live under a key of their own beside it, "<base>\Window", so that a file written
// by an earlier version reads as before and nothing here can disturb its entries.
//
//   <base>\Window  "Place"             "x,y,width,height" of the window's frame, "max" after it
//                                      when it was maximised
//                  "ActivityReadOnly"  "-1" or "0"
#include "platform/Registry.h"

#include <optional>
#include <string>
#include <string_view>

namespace tvr::config {

std::string windowKeyPath();

struct TWindowPlace {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    bool maximized = false;
    bool operator==(const TWindowPlace&) const = default;
};

// "x,y,width,height" (and ",max"), and back; nothing for a text that is not one or whose
// size is not positive.
std::string windowPlaceText(const TWindowPlace& place);
std::optional<TWindowPlace> parseWindowPlace(std::string_view text);

// Nothing while none is stored (the window then opens at its standard size, centred). A
// registry file that cannot be read throws RegistryError; so does one that cannot be written.
std::optional<TWindowPlace> readWindowPlace(const platform::Registry& registry);
void writeWindowPlace(platform::Registry& registry, const TWindowPlace& place);

// Off while nothing (or no boolean) is stored: the Activity view takes typing as it always did.
bool readActivityReadOnly(const platform::Registry& registry);
void writeActivityReadOnly(platform::Registry& registry, bool readOnly);

}  // namespace tvr::config
