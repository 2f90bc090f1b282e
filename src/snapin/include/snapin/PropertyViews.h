// The two-column property lists of a server, of an archive and of an
// archive's full-text index. Each refills the view's list from the server.
#pragma once

#include <string>
#include <vector>

#include "sdk/Results.h"
#include "snapin/SnapInContext.h"

namespace bw::snapin {

class PropertyViews {
 public:
  explicit PropertyViews(SnapInContext& context) : m_Context(context) {}

  void FillServerProperties(sdk::ResultView& view);
  void FillArchiveProperties(sdk::ResultView& view);
  void FillCatalogProperties(sdk::ResultView& view);

  // The engine edition shown for a @@VERSION text: its fourth line when it
  // has four or more, else the whole text.
  static std::string EngineEdition(const std::string& versionText);
  // A size in 8-KB pages as megabytes with one decimal: 12800 → "100.0 MB".
  static std::string PagesAsMegabytes(double pages);
  // 1/1/1990 plus `seconds`, as a date and time.
  static std::string AgeAsDate(double seconds);

 private:
  SnapInContext& m_Context;
};

}  // namespace bw::snapin
