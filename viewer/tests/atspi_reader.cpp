#include "tests/atspi_reader.h"

#include <memory>
#include <thread>
#include <utility>

namespace atspi_test {

namespace {

using namespace std::chrono_literals;

// Where libatspi reports a failed call; freed with the slot.
class ErrorSlot {
 public:
  ErrorSlot() = default;
  ~ErrorSlot() {
    if (error_) g_error_free(error_);
  }
  ErrorSlot(const ErrorSlot&) = delete;
  ErrorSlot& operator=(const ErrorSlot&) = delete;
  GError** out() { return &error_; }
  bool failed() const { return error_ != nullptr; }

 private:
  GError* error_ = nullptr;
};

struct GFree {
  void operator()(void* memory) const { g_free(memory); }
};

// The text of a string that libatspi hands over, which it then frees.
std::string take_text(gchar* text) {
  const std::unique_ptr<gchar, GFree> owned(text);
  return owned ? std::string(owned.get()) : std::string();
}

struct EnumClassUnref {
  void operator()(GEnumClass* enum_class) const { g_type_class_unref(enum_class); }
};

}  // namespace

Accessible application_of(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  const Accessible desktop = Accessible::adopt(atspi_get_desktop(0));
  if (!desktop) return {};
  // The desktop's list of applications changes as programs start; a cached
  // list would only be brought up to date by events, which nothing here
  // waits for.
  atspi_accessible_set_cache_mask(desktop.get(), ATSPI_CACHE_NONE);
  for (;;) {
    for (Accessible& application : children_of(desktop.get())) {
      ErrorSlot error;
      if (atspi_accessible_get_process_id(application.get(), error.out()) != static_cast<guint>(pid))
        continue;
      atspi_accessible_set_cache_mask(application.get(), ATSPI_CACHE_NONE);
      atspi_accessible_clear_cache(application.get());
      return std::move(application);
    }
    if (std::chrono::steady_clock::now() >= deadline) return {};
    std::this_thread::sleep_for(20ms);
  }
}

std::string name_of(AtspiAccessible* object) {
  ErrorSlot error;
  return take_text(atspi_accessible_get_name(object, error.out()));
}

std::string role_of(AtspiAccessible* object) {
  ErrorSlot error;
  return take_text(atspi_accessible_get_role_name(object, error.out()));
}

std::string description_of(AtspiAccessible* object) {
  ErrorSlot error;
  return take_text(atspi_accessible_get_description(object, error.out()));
}

std::set<std::string> states_of(AtspiAccessible* object) {
  std::set<std::string> names;
  const auto set = gtk::GObjectPtr<AtspiStateSet>::adopt(atspi_accessible_get_state_set(object));
  if (!set) return names;
  const std::unique_ptr<GEnumClass, EnumClassUnref> states_enum(
      static_cast<GEnumClass*>(g_type_class_ref(ATSPI_TYPE_STATE_TYPE)));
  GArray* states = atspi_state_set_get_states(set.get());
  if (!states) return names;
  for (guint i = 0; i < states->len; ++i) {
    const GEnumValue* value = g_enum_get_value(states_enum.get(), g_array_index(states, AtspiStateType, i));
    names.insert(value ? value->value_nick : "?");
  }
  g_array_free(states, TRUE);
  return names;
}

std::vector<Accessible> children_of(AtspiAccessible* object) {
  std::vector<Accessible> children;
  ErrorSlot count_error;
  const gint count = atspi_accessible_get_child_count(object, count_error.out());
  for (gint i = 0; i < count; ++i) {
    ErrorSlot error;
    if (Accessible child = Accessible::adopt(atspi_accessible_get_child_at_index(object, i, error.out())))
      children.push_back(std::move(child));
  }
  return children;
}

void PrintTo(const ImageReading& image, std::ostream* out) {
  *out << "image " << (image.description ? "\"" + *image.description + "\"" : std::string("undescribed"))
       << " " << image.width << "x" << image.height;
}

std::optional<ImageReading> image_of(AtspiAccessible* object) {
  const auto image = gtk::GObjectPtr<AtspiImage>::adopt(atspi_accessible_get_image(object));
  if (!image) return std::nullopt;
  ImageReading reading;
  ErrorSlot description_error;
  // The bridge hands a missing description over as an empty one.
  const std::string description =
      take_text(atspi_image_get_image_description(image.get(), description_error.out()));
  if (!description.empty()) reading.description = description;
  ErrorSlot size_error;
  const std::unique_ptr<AtspiPoint, GFree> size(atspi_image_get_image_size(image.get(), size_error.out()));
  if (size) {
    reading.width = size->x;
    reading.height = size->y;
  }
  return reading;
}

namespace {

Accessible find_below(AtspiAccessible* object, const std::function<bool(AtspiAccessible*)>& match,
                      int depth_left) {
  if (match(object)) return Accessible::share(object);
  if (depth_left <= 0) return {};
  for (const Accessible& child : children_of(object))
    if (Accessible found = find_below(child.get(), match, depth_left - 1)) return found;
  return {};
}

}  // namespace

Accessible find_object(AtspiAccessible* root, const std::function<bool(AtspiAccessible*)>& match,
                       int max_depth) {
  return root ? find_below(root, match, max_depth) : Accessible();
}

Accessible wait_for_object(AtspiAccessible* root,
                           const std::function<bool(AtspiAccessible*)>& match,
                           std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    if (Accessible found = find_object(root, match)) return found;
    if (std::chrono::steady_clock::now() >= deadline) return {};
    std::this_thread::sleep_for(20ms);
  }
}

std::function<bool(AtspiAccessible*)> with_role(std::string role, std::optional<std::string> name) {
  return [role = std::move(role), name = std::move(name)](AtspiAccessible* object) {
    return role_of(object) == role && (!name || name_of(object) == *name);
  };
}

void PrintTo(const RowReading& row, std::ostream* out) {
  *out << "\"" << row.text << "\" ";
  if (row.icon)
    PrintTo(*row.icon, out);
  else
    *out << "no image";
}

std::vector<RowReading> rows_of(AtspiAccessible* table) {
  std::vector<RowReading> rows;
  for (const Accessible& cell : children_of(table)) {
    // Column headers come first, hidden or not.
    if (role_of(cell.get()) != "table cell") continue;
    RowReading row;
    for (const Accessible& part : children_of(cell.get())) {
      if (std::optional<ImageReading> image = image_of(part.get()))
        row.icon = image;
      else
        row.text = name_of(part.get());
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

}  // namespace atspi_test
