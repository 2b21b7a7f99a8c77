#include "platform/linux/desktop_open.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <cstring>
#include <memory>
#include <optional>

#include "platform/linux/unique_fd.h"

namespace vellora {
namespace {

// GIO's functions, loaded when the first path is opened: linked in, GIO and
// the libraries it needs add some 4 ms to every start of vellora-cli, which
// most of the time plays nothing.
struct Gio {
  decltype(&::g_file_new_for_path) file_new_for_path;
  decltype(&::g_file_get_uri) file_get_uri;
  decltype(&::g_file_query_info) file_query_info;
  decltype(&::g_file_info_get_content_type) file_info_get_content_type;
  decltype(&::g_app_info_get_default_for_type) app_info_get_default_for_type;
  decltype(&::g_app_info_get_all_for_type) app_info_get_all_for_type;
  decltype(&::g_app_info_get_id) app_info_get_id;
  decltype(&::g_app_info_get_all) app_info_get_all;
  decltype(&::g_app_info_get_supported_types) app_info_get_supported_types;
  decltype(&::g_content_type_is_a) content_type_is_a;
  decltype(&::g_desktop_app_info_get_type) desktop_app_info_get_type;
  decltype(&::g_type_check_instance_is_a) type_check_instance_is_a;
  decltype(&::g_desktop_app_info_launch_uris_as_manager_with_fds) launch_uris_with_fds;
  decltype(&::g_object_ref) object_ref;
  decltype(&::g_object_unref) object_unref;
  decltype(&::g_list_free_full) list_free_full;
  decltype(&::g_free) free;
  decltype(&::g_error_free) error_free;
};

template <class Function>
bool bind(void* library, Function& function, const char* name) {
  function = reinterpret_cast<Function>(::dlsym(library, name));
  return function != nullptr;
}

std::optional<Gio> loadGio() {
  // Never unloaded: GIO's types stay registered with GLib for the process's life.
  void* library = ::dlopen("libgio-2.0.so.0", RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
  if (library == nullptr) return std::nullopt;
  Gio gio{};
  const bool complete =
      bind(library, gio.file_new_for_path, "g_file_new_for_path") &&
      bind(library, gio.file_get_uri, "g_file_get_uri") &&
      bind(library, gio.file_query_info, "g_file_query_info") &&
      bind(library, gio.file_info_get_content_type, "g_file_info_get_content_type") &&
      bind(library, gio.app_info_get_default_for_type, "g_app_info_get_default_for_type") &&
      bind(library, gio.app_info_get_all_for_type, "g_app_info_get_all_for_type") &&
      bind(library, gio.app_info_get_id, "g_app_info_get_id") &&
      bind(library, gio.app_info_get_all, "g_app_info_get_all") &&
      bind(library, gio.app_info_get_supported_types, "g_app_info_get_supported_types") &&
      bind(library, gio.content_type_is_a, "g_content_type_is_a") &&
      bind(library, gio.desktop_app_info_get_type, "g_desktop_app_info_get_type") &&
      bind(library, gio.type_check_instance_is_a, "g_type_check_instance_is_a") &&
      bind(library, gio.launch_uris_with_fds, "g_desktop_app_info_launch_uris_as_manager_with_fds") &&
      bind(library, gio.object_ref, "g_object_ref") && bind(library, gio.object_unref, "g_object_unref") &&
      bind(library, gio.list_free_full, "g_list_free_full") && bind(library, gio.free, "g_free") &&
      bind(library, gio.error_free, "g_error_free");
  if (!complete) return std::nullopt;
  return gio;
}

const Gio* loadedGio() {
  static const std::optional<Gio> gio = loadGio();
  return gio ? &*gio : nullptr;
}

struct Unref {
  void operator()(void* object) const { loadedGio()->object_unref(object); }
};
template <class Object>
using Owned = std::unique_ptr<Object, Unref>;

struct FreeString {
  void operator()(char* text) const { loadedGio()->free(text); }
};
struct FreeAppList {
  void operator()(GList* apps) const { loadedGio()->list_free_full(apps, loadedGio()->object_unref); }
};

std::optional<std::string> contentType(const Gio& gio, GFile* file) {
  GError* error = nullptr;
  const Owned<GFileInfo> info(gio.file_query_info(file, G_FILE_ATTRIBUTE_STANDARD_CONTENT_TYPE,
                                                  G_FILE_QUERY_INFO_NONE, nullptr, &error));
  if (error != nullptr) gio.error_free(error);
  const char* type = info ? gio.file_info_get_content_type(info.get()) : nullptr;
  if (type == nullptr) return std::nullopt;
  return type;
}

bool isVellora(const Gio& gio, GAppInfo* app) {
  const char* id = gio.app_info_get_id(app);
  return id != nullptr && std::strcmp(id, kVelloraDesktopId) == 0;
}

bool opensType(const Gio& gio, GAppInfo* app, const std::string& type) {
  const char* const* supported = gio.app_info_get_supported_types(app);
  for (; supported != nullptr && *supported != nullptr; ++supported)
    if (gio.content_type_is_a(type.c_str(), *supported)) return true;
  return false;
}

// The first application of `apps` that is not Vellora and, unless `type` is
// null, names `type` (or a type it is a kind of) among its MIME types.
Owned<GAppInfo> firstPlayer(const Gio& gio, GList* apps, const std::string* type) {
  for (GList* entry = apps; entry != nullptr; entry = entry->next) {
    GAppInfo* app = static_cast<GAppInfo*>(entry->data);
    if (!isVellora(gio, app) && (type == nullptr || opensType(gio, app, *type)))
      return Owned<GAppInfo>(static_cast<GAppInfo*>(gio.object_ref(app)));
  }
  return nullptr;
}

// The desktop's choice for the type, or the next application registered
// for it when that is Vellora; none when Vellora is all there is. GIO lists
// the applications for a type from the MIME cache (mimeinfo.cache), which a
// minimal system without desktop-file-utils lacks: then every desktop
// entry's own MimeType line is read.
Owned<GAppInfo> chooseApplication(const Gio& gio, const std::string& type) {
  Owned<GAppInfo> choice(gio.app_info_get_default_for_type(type.c_str(), FALSE));
  if (choice && !isVellora(gio, choice.get())) return choice;
  const std::unique_ptr<GList, FreeAppList> registered(gio.app_info_get_all_for_type(type.c_str()));
  if (Owned<GAppInfo> next = firstPlayer(gio, registered.get(), nullptr)) return next;
  const std::unique_ptr<GList, FreeAppList> all(gio.app_info_get_all());
  return firstPlayer(gio, all.get(), &type);
}

}  // namespace

DesktopOpen openOnDesktop(const std::string& hostPath) {
  const Gio* gio = loadedGio();
  if (gio == nullptr) return DesktopOpen::Failed;
  const Owned<GFile> file(gio->file_new_for_path(hostPath.c_str()));
  const std::optional<std::string> type = contentType(*gio, file.get());
  if (!type) return DesktopOpen::Failed;
  const Owned<GAppInfo> app = chooseApplication(*gio, *type);
  if (!app) return DesktopOpen::NoApplication;
  if (!gio->type_check_instance_is_a(reinterpret_cast<GTypeInstance*>(app.get()),
                                     gio->desktop_app_info_get_type()))
    return DesktopOpen::Failed;

  const std::unique_ptr<char, FreeString> uri(gio->file_get_uri(file.get()));
  GList uris{uri.get(), nullptr, nullptr};
  const UniqueFd null(::open("/dev/null", O_RDWR | O_CLOEXEC));
  GError* error = nullptr;
  // GIO, not a command line of ours, starts the application: it alone reads
  // the desktop entry's Exec line right (field codes, quoting, Flatpak's
  // wrappers, Terminal=true). Without G_SPAWN_DO_NOT_REAP_CHILD, GLib starts
  // it from an intermediate child that exits at once, so it is never waited
  // for nor left a zombie, and it closes every descriptor but the three
  // standard ones.
  const gboolean started = gio->launch_uris_with_fds(
      reinterpret_cast<GDesktopAppInfo*>(app.get()), &uris, nullptr, G_SPAWN_SEARCH_PATH, nullptr,
      nullptr, nullptr, nullptr, null.get(), null.get(), -1, &error);
  if (error != nullptr) gio->error_free(error);
  return started ? DesktopOpen::Started : DesktopOpen::Failed;
}

}  // namespace vellora
