// The shared dialog widgets: message boxes as the style asks, the balloon
// tooltip's tool bookkeeping, and the wait for a balloon's dismissal.
#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

#include "dialogs/widgets/BalloonWait.h"
#include "dialogs/widgets/QtMessageService.h"
#include "dialogs/widgets/cTooltips.h"

using namespace bw;

Q_DECLARE_METATYPE(bw::MsgResult)

namespace {

// Runs `inspect` on the message box once it is shown.
void WhenBoxShown(std::function<void(QMessageBox*)> inspect) {
  QTimer::singleShot(0, [inspect] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    QVERIFY(box != nullptr);
    inspect(box);
  });
}

}  // namespace

class WidgetsTest : public QObject {
  Q_OBJECT

 private slots:
  void MessageBoxFollowsStyle_data() {
    QTest::addColumn<int>("style");
    QTest::addColumn<QStringList>("buttons");
    QTest::addColumn<int>("icon");
    QTest::addColumn<QString>("defaultButton");
    QTest::addColumn<bw::MsgResult>("onEnter");
    QTest::addColumn<bw::MsgResult>("onEscape");
    QTest::newRow("ok, information") << 64 << QStringList{"OK"} << int(QMessageBox::Information)
                                     << "OK" << MsgResult::Ok << MsgResult::Ok;
    QTest::newRow("yes/no, question")
        << (4 + 32) << QStringList{"&Yes", "&No"} << int(QMessageBox::Question) << "&Yes"
        << MsgResult::Yes << MsgResult::No;
    QTest::newRow("yes/no, exclamation, no by default")
        << (4 + 48 + 256) << QStringList{"&Yes", "&No"} << int(QMessageBox::Warning) << "&No"
        << MsgResult::No << MsgResult::No;
    QTest::newRow("yes/no/cancel, second default")
        << (3 + 32 + 256) << QStringList{"&Yes", "&No", "Cancel"} << int(QMessageBox::Question)
        << "&No" << MsgResult::No << MsgResult::Cancel;
    QTest::newRow("ok/cancel, critical")
        << (1 + 16) << QStringList{"OK", "Cancel"} << int(QMessageBox::Critical) << "OK"
        << MsgResult::Ok << MsgResult::Cancel;
    QTest::newRow("abort/retry/ignore, retry by default")
        << (2 + 48 + 256) << QStringList{"Abort", "Retry", "Ignore"} << int(QMessageBox::Warning)
        << "Retry" << MsgResult::Retry << MsgResult::Abort;
  }

  void MessageBoxFollowsStyle() {
    QFETCH(int, style);
    QFETCH(QStringList, buttons);
    QFETCH(int, icon);
    QFETCH(QString, defaultButton);
    QFETCH(bw::MsgResult, onEnter);
    QFETCH(bw::MsgResult, onEscape);
    QtMessageService service;

    WhenBoxShown([&](QMessageBox* box) {
      QCOMPARE(box->windowTitle(), QString("Brindlewick Server Manager"));
      QCOMPARE(box->text(), QString("first line\nsecond line"));
      QCOMPARE(int(box->icon()), icon);
      QStringList texts;
      for (QAbstractButton* button : box->buttons()) texts << button->text();
      for (const QString& expected : buttons)
        QVERIFY2(texts.contains(expected), qPrintable(texts.join(',')));
      QCOMPARE(texts.size(), buttons.size());
      QCOMPARE(box->defaultButton()->text(), defaultButton);
      QTest::keyClick(box, Qt::Key_Return);
    });
    QCOMPARE(service.Show("first line\rsecond line", style, kMessageCaption), onEnter);

    WhenBoxShown([](QMessageBox* box) { QTest::keyClick(box, Qt::Key_Escape); });
    QCOMPARE(service.Show("text", style, kMessageCaption), onEscape);
  }

  void TooltipsDoNothingBeforeCreateOrForUnknownControls() {
    QWidget dialog;
    QLineEdit field(&dialog);
    QLineEdit other(&dialog);
    cTooltips tips;
    tips.AddTool(&field, 160);
    tips.SetTracking(&field, true);
    QCOMPARE(tips.ToolCount(), 0);
    QVERIFY(tips.Window() == nullptr);

    tips.Create(&dialog, 65);
    tips.AddTool(&field, 160);
    tips.SetTipText(&other, "never shown");
    tips.SetTracking(&other, true);
    QVERIFY(!tips.Window()->isVisible());
    QCOMPARE(tips.ToolCount(), 1);
  }

  void TitleAndIconKeepEachOther() {
    QWidget dialog;
    QLineEdit field(&dialog);
    cTooltips tips;
    tips.Create(&dialog, 65);
    QCOMPARE(tips.Icon(), 0);
    QCOMPARE(tips.Title(), QString());
    tips.SetIcon(2);
    tips.SetTitle("Invalid archive name");
    QCOMPARE(tips.Icon(), 2);
    tips.SetIcon(3);
    QCOMPARE(tips.Title(), QString("Invalid archive name"));
  }

  void SecondCreateStartsWithoutTools() {
    QWidget dialog;
    QLineEdit field(&dialog);
    cTooltips tips;
    tips.Create(&dialog, 65);
    tips.AddTool(&field, 160);
    tips.SetTitle("old");
    QPointer<BalloonTip> first = tips.Window();
    tips.Create(&dialog, 65);
    QVERIFY(first.isNull());
    QCOMPARE(tips.ToolCount(), 0);
    QCOMPARE(tips.Title(), QString());
    tips.SetTracking(&field, true);
    QVERIFY(!tips.IsTracking(&field));
  }

  void TrackingShowsTheTipWithItsStemAtThePoint() {
    QWidget dialog;
    QLineEdit field(&dialog);
    dialog.show();
    cTooltips tips;
    tips.Create(&dialog, 65);
    tips.AddTool(&field, 160);
    tips.SetIcon(2);
    tips.SetTitle(" ");
    tips.SetTipText(&field, "You must enter an archive name here.");
    tips.SetTrackPosition(&field, 200, 150);
    tips.SetTracking(&field, true);
    QVERIFY(tips.IsTracking(&field));
    BalloonTip* balloon = tips.Window();
    QCOMPARE(balloon->Text(), QString("You must enter an archive name here."));
    QCOMPARE(balloon->IconKindShown(), 2);
    QCOMPARE(balloon->geometry().top(), 150);
    QVERIFY(balloon->geometry().left() < 200 && balloon->geometry().right() > 200);

    tips.SetTitle("Invalid archive name");  // a shown tip follows its title
    QCOMPARE(balloon->Title(), QString("Invalid archive name"));
    tips.SetTracking(&field, false);
    QVERIFY(!balloon->isVisible());
  }

  void TooltipsOutliveTheirDialog() {
    cTooltips tips;
    {
      QWidget dialog;
      tips.Create(&dialog, 65);
    }
    QVERIFY(tips.Window() == nullptr);
  }

  // A balloon stays at least its minimum time; the next press after that
  // dismisses it, and a Cancel clicked with that press stays unclicked.
  void BalloonWaitSpendsTheDismissingPress() {
    QWidget dialog;
    QPushButton cancel("Cancel", &dialog);
    dialog.show();
    int dismissed = 0;
    int cancelled = 0;
    BalloonWait wait([&] { ++dismissed; }, &dialog);
    QObject::connect(&cancel, &QPushButton::clicked, [&] {
      if (!wait.IsWaiting()) ++cancelled;
    });

    wait.Start(200);
    QTest::keyClick(&dialog, Qt::Key_A);
    QTest::mouseClick(&cancel, Qt::LeftButton);
    QCOMPARE(dismissed, 0);
    QCOMPARE(cancelled, 0);
    QVERIFY(wait.IsWaiting());

    QTest::qWait(300);
    QTest::mouseClick(&cancel, Qt::LeftButton);
    QCOMPARE(dismissed, 1);
    QCOMPARE(cancelled, 0);
    QTRY_VERIFY(!wait.IsWaiting());

    QTest::mouseClick(&cancel, Qt::LeftButton);
    QCOMPARE(cancelled, 1);
    QCOMPARE(dismissed, 1);
  }
};

QTEST_MAIN(WidgetsTest)
#include "widgets_test.moc"
