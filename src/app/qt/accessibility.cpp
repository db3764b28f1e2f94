// SPDX-License-Identifier: MIT
// Accessible names: a screen reader reads what each control shows, as in
// "物理メモリ 合計 523352 KB", never a bare "label".
#include "app/qt/accessibility.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QGroupBox>
#include <QString>
#include <QStringList>

#include "app/qt/main_window.h"
#include "toolkit/number_format.h"
#include "toolkit/qt/accessible_factory.h"
#include "toolkit/qt/announcement.h"

namespace pelmora::app::qt {

namespace {

// A frame caption without its unit: "物理メモリ(KB)" names its rows as "物理メモリ".
QString FrameSubject(const QGroupBox& frame) {
  QString title = frame.title().trimmed();
  const qsizetype open = title.lastIndexOf(u'(');
  if (open > 0 && title.endsWith(u')')) title.truncate(open);
  return title.trimmed();
}

// The status bar paints its panels itself, so no child widget carries their
// texts: its accessible name is built from the three panels when it is asked.
class StatusBarAccessible : public QAccessibleWidget {
 public:
  explicit StatusBarAccessible(toolkit::qt::QtStatusBar* bar)
      : QAccessibleWidget(bar, QAccessible::StatusBar) {}

  QString text(QAccessible::Text t) const override {
    if (t != QAccessible::Name) return QAccessibleWidget::text(t);
    auto* bar = static_cast<toolkit::qt::QtStatusBar*>(widget());
    const auto panel = [bar](int index) {
      return index <= bar->PanelCount() ? QString::fromStdString(bar->PanelText(index)).trimmed()
                                        : QString();
    };
    QStringList parts;
    const QString selected = panel(1);
    parts << QStringLiteral("選択中のプロセス: ") +
                 (selected.isEmpty() ? QStringLiteral("なし") : selected);
    if (!panel(2).isEmpty()) parts << panel(2);
    if (!panel(3).isEmpty()) parts << QStringLiteral("プロセス数: ") + panel(3);
    return parts.join(QStringLiteral("、"));
  }
};

// The window itself is a frame, named by its caption as it stands: the
// program's name and version, or the figures while it is minimized. Its
// announcements (no widget) are its last child.
class WindowAccessible : public QAccessibleWidget {
 public:
  explicit WindowAccessible(QWidget* window) : QAccessibleWidget(window, QAccessible::Window) {}

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name) return widget()->windowTitle();
    return QAccessibleWidget::text(t);
  }
  int childCount() const override {
    return QAccessibleWidget::childCount() + (Announcement() ? 1 : 0);
  }
  QAccessibleInterface* child(int index) const override {
    const int widgets = QAccessibleWidget::childCount();
    if (index == widgets && Announcement()) {
      return QAccessible::queryAccessibleInterface(Announcement());
    }
    return index < widgets ? QAccessibleWidget::child(index) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    if (child && Announcement() && child->object() == Announcement()) {
      return QAccessibleWidget::childCount();
    }
    return QAccessibleWidget::indexOfChild(child);
  }

 private:
  toolkit::qt::QtAnnouncement* Announcement() const {
    return widget()->findChild<toolkit::qt::QtAnnouncement*>(QString(), Qt::FindDirectChildrenOnly);
  }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  static const QString kStatusBar =
      QString::fromLatin1(toolkit::qt::QtStatusBar::staticMetaObject.className());
  static const QString kWindow = QString::fromLatin1(MainWindow::staticMetaObject.className());
  if (!object || !object->isWidgetType()) return nullptr;
  if (className == kStatusBar) {
    return new StatusBarAccessible(static_cast<toolkit::qt::QtStatusBar*>(object));
  }
  if (className == kWindow) return new WindowAccessible(static_cast<QWidget*>(object));
  return nullptr;
}

}  // namespace

void SetAccessibleNames(MainWindow& window) {
  static const bool factoryInstalled = [] {
    QAccessible::installFactory(Factory);
    return true;
  }();
  (void)factoryInstalled;
  // The window and its status bar raised accessibility events as they were
  // built (a title, a geometry), before this factory was there.
  toolkit::qt::RenewAccessibleInterface(&window);
  toolkit::qt::RenewAccessibleInterface(window.StatusBar1);

  // Each value label is named by its frame and its row caption, followed by
  // the figure it shows now; the caption labels keep their own texts.
  for (int index = 0; index + 1 < static_cast<int>(window.Label1.size()); index += 2) {
    toolkit::qt::QtLabel* caption = window.Label1[index];
    toolkit::qt::QtLabel* value = window.Label1[index + 1];
    if (!caption || !value) continue;
    const auto* frame = qobject_cast<const QGroupBox*>(value->parentWidget());
    QString prefix = caption->text().trimmed();
    if (frame) prefix = FrameSubject(*frame) + u' ' + prefix;
    value->SetAccessiblePrefix(prefix);
  }

  // The interval label names the scroll bar, so the bar is read with the
  // interval it sets ("更新頻度 1.0秒"), current at every change; its value
  // is that interval in seconds, 0.2 a step.
  window.Label2->setBuddy(window.HScroll1);
  window.HScroll1->SetAccessibleUnit(0.2);
  window.HScroll1->SetAccessibleValueText(
      [](double seconds) { return toolkit::Format00(seconds) + "秒"; });
  window.HScroll1->setAccessibleDescription(
      QStringLiteral("更新頻度を0.2秒から4秒まで0.2秒刻みで選びます"));

  window.Command1->setAccessibleName(QStringLiteral("プロセス一覧を更新"));
  window.Command2->setAccessibleName(QStringLiteral("選択したプロセスを停止"));
  window.ListView1->setAccessibleName(QStringLiteral("プロセス一覧"));
  // The graph describes its figures once it has drawn them; before, what
  // it will show.
  window.Picture1->setAccessibleName(QStringLiteral("CPU負荷率とメモリ使用率のグラフ"));
  window.Picture1->setAccessibleDescription(
      QStringLiteral("直近51回分の推移: 緑の線がCPU負荷率、黄の線が物理メモリ使用率、"
                     "横の格子線は20%ごと"));
}

}  // namespace pelmora::app::qt
