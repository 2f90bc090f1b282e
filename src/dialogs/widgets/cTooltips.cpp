#include "dialogs/widgets/cTooltips.h"

#include <algorithm>

namespace bw {

cTooltips::~cTooltips() {
  Destroy();
}

void cTooltips::Destroy() {
  for (Tool& tool : m_Tools) {
    if (tool.control && (tool.flags & kTrack) == 0) tool.control->setToolTip({});
  }
  m_Tools.clear();
  m_Tracked = nullptr;
  // The dialog owns the window as a child and may have deleted it already.
  delete m_Window.data();
  m_Window = nullptr;
}

void cTooltips::Create(QWidget* frm, std::uint32_t flags) {
  Destroy();
  m_Enabled = true;
  m_Icon = 0;
  m_Title.clear();
  m_Window = new BalloonTip(frm, (flags & kBalloon) != 0);
}

cTooltips::Tool* cTooltips::Find(QWidget* ctl) {
  if (!m_Window || ctl == nullptr) return nullptr;
  auto found = std::find_if(m_Tools.begin(), m_Tools.end(),
                            [ctl](const Tool& tool) { return tool.control == ctl; });
  return found == m_Tools.end() ? nullptr : &*found;
}

void cTooltips::AddTool(QWidget* ctl, std::uint32_t flags, const QString& text) {
  if (!m_Window || ctl == nullptr) return;
  m_Tools.push_back({ctl, flags, text, {}});
  if ((flags & kTrack) == 0) ctl->setToolTip(text);
}

void cTooltips::DeleteTool(QWidget* ctl) {
  Tool* tool = Find(ctl);
  if (tool == nullptr) return;
  if ((tool->flags & kTrack) == 0) ctl->setToolTip({});
  if (m_Tracked == ctl) {
    m_Tracked = nullptr;
    m_Window->hide();
  }
  m_Tools.erase(m_Tools.begin() + (tool - m_Tools.data()));
}

void cTooltips::SetIcon(int newIcon) {
  m_Icon = newIcon;
  Refresh();
}

void cTooltips::SetTitle(const QString& newTitle) {
  m_Title = newTitle;
  Refresh();
}

void cTooltips::SetTipText(QWidget* ctl, const QString& newText) {
  Tool* tool = Find(ctl);
  if (tool == nullptr) return;
  tool->text = newText;
  if ((tool->flags & kTrack) == 0) ctl->setToolTip(newText);
  Refresh();
}

void cTooltips::SetTrackPosition(QWidget* ctl, int x, int y) {
  Tool* tool = Find(ctl);
  if (tool == nullptr) return;
  tool->trackPosition = QPoint(x, y);
  Refresh();
}

void cTooltips::SetTracking(QWidget* ctl, bool tracking) {
  Tool* tool = Find(ctl);
  if (tool == nullptr || (tool->flags & kTrack) == 0) return;
  if (tracking) {
    m_Tracked = ctl;
    Refresh();
  } else if (m_Tracked == ctl) {
    m_Tracked = nullptr;
    m_Window->hide();
  }
}

void cTooltips::HideTips() {
  if (!m_Window) return;
  m_Tracked = nullptr;
  m_Window->hide();
}

void cTooltips::SetEnabled(bool enabled) {
  if (!m_Window) return;
  m_Enabled = enabled;
  Refresh();
}

int cTooltips::ToolCount() const {
  return m_Window ? static_cast<int>(m_Tools.size()) : 0;
}

bool cTooltips::IsTracking(QWidget* ctl) const {
  return m_Window && ctl != nullptr && m_Tracked == ctl && m_Window->isVisible();
}

// Brings the window in line with the tracked tool: its text, the shared title
// and icon, its point.
void cTooltips::Refresh() {
  if (!m_Window) return;
  Tool* tool = Find(m_Tracked);
  if (tool == nullptr || !m_Enabled || !tool->control) {
    m_Window->hide();
    return;
  }
  m_Window->SetContent(m_Icon, m_Title, tool->text);
  m_Window->PointAt(tool->trackPosition);
  // A tip without text is not shown, as the platform's tooltips do.
  if (tool->text.isEmpty()) {
    m_Window->hide();
  } else {
    m_Window->show();
    m_Window->raise();
  }
}

}  // namespace bw
