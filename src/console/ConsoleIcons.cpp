#include "ConsoleIcons.h"

#include <QString>
#include <map>

namespace bw::console {

namespace {

// The folder images: one list for small and large, drawn to scale.
const std::map<int, const char*>& FolderNames() {
  static const std::map<int, const char*> kNames = {
      {0, "snapin"},    {2, "server-group"},    {3, "server-running"}, {4, "server-stopped"},
      {5, "archive"},   {6, "users"},           {7, "properties"},     {9, "logins"},
      {12, "archives"}, {13, "server-unknown"}, {14, "connect-error"}, {15, "fulltext"}};
  return kNames;
}

}  // namespace

QIcon ConsoleIcon(const char* name) {
  return QIcon(QString(":/icons/%1.svg").arg(name));
}

QIcon FolderIcon(int index, bool /*large*/) {
  auto found = FolderNames().find(index);
  return ConsoleIcon(found == FolderNames().end() ? "snapin" : found->second);
}

QIcon ListIcon(int index) {
  if (index == 6) return ConsoleIcon("user");
  return FolderIcon(index);
}

}  // namespace bw::console
