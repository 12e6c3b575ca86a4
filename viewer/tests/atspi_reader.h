// Reading another process's accessible objects over AT-SPI, as a screen
// reader reads them: its application among the desktop's, and of every
// object the role, name, description, states, image and children. Needs a
// running AtspiSession. Nothing is cached: every reading asks the program
// again, so a state read after a change is the new one.
#pragma once

#include <atspi/atspi.h>
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "gtk/gobject_ptr.h"

namespace atspi_test {

using Accessible = gtk::GObjectPtr<AtspiAccessible>;

// The application of the process once the registry lists it; nothing after
// the timeout.
Accessible application_of(pid_t pid, std::chrono::milliseconds timeout);

// Empty strings and sets when the program does not answer.
std::string name_of(AtspiAccessible* object);
std::string role_of(AtspiAccessible* object);  // AT-SPI's role name: "tree table"
std::string description_of(AtspiAccessible* object);
// The states by AT-SPI's names: "busy", "invalid-entry", "showing", ...
std::set<std::string> states_of(AtspiAccessible* object);
std::vector<Accessible> children_of(AtspiAccessible* object);

// What the object shows as an image; nothing for an object that is no
// image.
struct ImageReading {
  std::optional<std::string> description;  // nothing: none given
  int width = 0;
  int height = 0;
  bool operator==(const ImageReading&) const = default;
};
void PrintTo(const ImageReading& image, std::ostream* out);
std::optional<ImageReading> image_of(AtspiAccessible* object);

// The first object, depth first from root (root included), that matches;
// nothing when none does. Children of objects deeper than max_depth are not
// looked at.
Accessible find_object(AtspiAccessible* root, const std::function<bool(AtspiAccessible*)>& match,
                       int max_depth = 16);
// Asks find_object again until it finds one or the timeout passes.
Accessible wait_for_object(AtspiAccessible* root,
                           const std::function<bool(AtspiAccessible*)>& match,
                           std::chrono::milliseconds timeout);
// Matches an object of the role, and of the name when one is given.
std::function<bool(AtspiAccessible*)> with_role(std::string role,
                                                std::optional<std::string> name = std::nullopt);

// A row of a tree table as its cell reads: the text, and the image of its
// icon cell.
struct RowReading {
  std::string text;
  std::optional<ImageReading> icon;
  bool operator==(const RowReading&) const = default;
};
void PrintTo(const RowReading& row, std::ostream* out);
// Every row the table offers, in the order of its children.
std::vector<RowReading> rows_of(AtspiAccessible* table);

}  // namespace atspi_test
