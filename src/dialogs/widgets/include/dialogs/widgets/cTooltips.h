// One dialog's balloon tooltips: the dialog's controls are registered as
// tools, and a tool's tip is shown at a screen point ("tracking") or, for
// tools without tracking, as the control's ordinary hover tip. One balloon
// window per object, created by Create; every operation before Create, or for
// a control that was never added, does nothing.
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>

#include <cstdint>
#include <vector>

#include "dialogs/widgets/BalloonTip.h"

namespace bw {

class cTooltips {
 public:
  // Window styles of Create.
  static constexpr std::uint32_t kAlwaysTip = 1;
  static constexpr std::uint32_t kBalloon = 64;
  // Tool flags of AddTool.
  static constexpr std::uint32_t kTrack = 32;
  static constexpr std::uint32_t kAbsolute = 128;

  cTooltips() = default;
  ~cTooltips();
  cTooltips(const cTooltips&) = delete;
  cTooltips& operator=(const cTooltips&) = delete;

  // Starts over for `frm`: any earlier window and its tools are gone; enabled,
  // icon 0, empty title.
  void Create(QWidget* frm, std::uint32_t flags);
  void AddTool(QWidget* ctl, std::uint32_t flags, const QString& text = {});
  void DeleteTool(QWidget* ctl);

  int Icon() const { return m_Icon; }
  void SetIcon(int newIcon);  // keeps the title
  const QString& Title() const { return m_Title; }
  void SetTitle(const QString& newTitle);  // keeps the icon

  void SetTipText(QWidget* ctl, const QString& newText);
  void SetTrackPosition(QWidget* ctl, int x, int y);
  void SetTracking(QWidget* ctl, bool tracking);
  void HideTips();

  bool Enabled() const { return m_Enabled; }
  void SetEnabled(bool enabled);  // a disabled object shows no tips
  int ToolCount() const;

  // The balloon window (null before Create), for tests and screenshots.
  BalloonTip* Window() const { return m_Window; }
  // True while the tracking tip of `ctl` is shown.
  bool IsTracking(QWidget* ctl) const;

 private:
  struct Tool {
    QPointer<QWidget> control;
    std::uint32_t flags;
    QString text;
    QPoint trackPosition;
  };
  Tool* Find(QWidget* ctl);
  void Refresh();
  void Destroy();

  QPointer<BalloonTip> m_Window;
  std::vector<Tool> m_Tools;
  QWidget* m_Tracked = nullptr;  // the control whose tip is shown
  bool m_Enabled = false;
  int m_Icon = 0;
  QString m_Title;
};

}  // namespace bw
