// Every dialog laid out from its dialog units: fixed in size, every control
// inside the dialog and inside the group box it starts in.
#include <QGroupBox>
#include <QtTest>

#include "TestFiles.h"
#include "TestUpdateServer.h"
#include "app/ui/UpdateSelectFileDlg.h"
#include "app/ui/WinUIDlg.h"
#include "boards/ui/ExtendSetting_NR2.h"
#include "boards/ui/ExtendSetting_R1PS.h"

using namespace pellux;

namespace {
QString Describe(const QWidget& widget) {
  const QRect r = widget.geometry();
  return QStringLiteral("%1 (%2,%3 %4x%5)")
      .arg(widget.objectName())
      .arg(r.x())
      .arg(r.y())
      .arg(r.width())
      .arg(r.height());
}

void CheckLayout(QDialog& dialog) {
  dialog.show();
  QVERIFY(QTest::qWaitForWindowExposed(&dialog));
  QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
  const QRect inside(QPoint(0, 0), dialog.size());
  const QList<QWidget*> controls =
      dialog.findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly);
  QVERIFY(controls.size() > 3);
  for (const QWidget* control : controls) {
    if (control->isHidden()) continue;  // an empty status line
    QVERIFY2(inside.contains(control->geometry()),
             qPrintable(Describe(*control) + " outside " + dialog.objectName()));
    const auto* group = qobject_cast<const QGroupBox*>(control);
    if (group == nullptr) continue;
    for (const QWidget* nested :
         group->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
      QVERIFY2(QRect(QPoint(0, 0), group->size()).contains(nested->geometry()),
               qPrintable(Describe(*nested) + " runs past " + Describe(*group)));
    }
    for (const QWidget* other : controls) {
      if (other == group || !group->geometry().contains(other->geometry().topLeft())) continue;
      QVERIFY2(group->geometry().contains(other->geometry()),
               qPrintable(Describe(*other) + " runs past " + Describe(*group)));
    }
  }
}
}  // namespace

class DialogLayoutTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() {
    qputenv("PUPDATE_PORT_MAP", "COM3=/dev/null");
    workDir_ = std::make_unique<ScopedCurrentDir>(work_.path());
    server_ = std::make_unique<TestUpdateServer>();
    server_->AddRootFile("machlist.txt", "New R2 Bender,NR2\n");
  }
  void cleanupTestCase() {
    server_.reset();
    workDir_.reset();
  }

  void mainDialogInBothViews() {
    WinUIDlg dialog("PelluxUpdateV3");
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const int compactHeight = dialog.height();
    // The compact view cuts the engineer's buttons off; the engineer view shows all.
    QTest::mouseDClick(&dialog, Qt::LeftButton, Qt::NoModifier, QPoint(dialog.width() - 4, 4));
    QVERIFY(dialog.height() > compactHeight);
    CheckLayout(dialog);
  }

  void fileSelection() {
    UpdateSelectFileDlg dialog;
    CheckLayout(dialog);
  }

  void extendSettings() {
    ExtendSetting_NR2 nr2("COM3");
    CheckLayout(nr2);
    ExtendSetting_R1PS r1ps("COM3");
    CheckLayout(r1ps);
  }

  // One conversion for all: the same dialog units give the same pixels in
  // every dialog of the same font.
  void oneConversion() {
    ExtendSetting_NR2 nr2("COM3");
    ExtendSetting_R1PS r1ps("COM3");
    const QRect nr2Load = nr2.findChild<QWidget*>("id1022")->geometry();
    const QRect r1psLoad = r1ps.findChild<QWidget*>("id1022")->geometry();
    // Both Load buttons start at x = 7 dialog units.
    QCOMPARE(nr2Load.x(), r1psLoad.x());
    QCOMPARE(nr2.findChild<QWidget*>("id1011")->height(),
             r1ps.findChild<QWidget*>("id1011")->height());
    // 298 and 172 dialog units wide, each edge rounded on its own.
    QVERIFY2(qAbs(nr2.width() * 172 - r1ps.width() * 298) <= 298,
             qPrintable(QStringLiteral("%1 against %2").arg(nr2.width()).arg(r1ps.width())));
  }

 private:
  TempDir work_;
  std::unique_ptr<ScopedCurrentDir> workDir_;
  std::unique_ptr<TestUpdateServer> server_;
};

QTEST_MAIN(DialogLayoutTest)
#include "DialogLayoutTest.moc"
