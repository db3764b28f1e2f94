// SPDX-License-Identifier: MIT
#include "toolkit/qt/accessible_factory.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QCoreApplication>

#include "toolkit/qt/announcement.h"
#include "toolkit/qt/drawing_area.h"
#include "toolkit/qt/list_accessible.h"
#include "toolkit/qt/list_view.h"
#include "toolkit/qt/scroll_bar.h"

namespace pelmora::toolkit::qt {
namespace {

// The bar's value, range and step in its accessible unit.
class ScrollBarAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit ScrollBarAccessible(QtScrollBar* bar) : QAccessibleWidget(bar, QAccessible::ScrollBar) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }
  QVariant currentValue() const override { return InUnit(Bar()->value()); }
  void setCurrentValue(const QVariant& value) override {
    Bar()->setValue(qRound(value.toDouble() * PerUnit()));
  }
  QVariant maximumValue() const override { return InUnit(Bar()->maximum()); }
  QVariant minimumValue() const override { return InUnit(Bar()->minimum()); }
  QVariant minimumStepSize() const override { return InUnit(Bar()->singleStep()); }

 private:
  QtScrollBar* Bar() const { return static_cast<QtScrollBar*>(widget()); }
  // Positions per unit (5 for 0.2): dividing by it gives 7 as 1.4, where
  // multiplying by 0.2 gives 1.4000000000000001.
  double PerUnit() const { return 1.0 / Bar()->AccessibleUnit(); }
  double InUnit(int position) const { return position / PerUnit(); }
};

// A chart, not a frame: a frame is a window to a screen reader.
class DrawingAreaAccessible : public QAccessibleWidget {
 public:
  explicit DrawingAreaAccessible(QtDrawingArea* area)
      : QAccessibleWidget(area, QAccessible::Chart) {}

  QString text(QAccessible::Text t) const override {
    const std::string& described = static_cast<QtDrawingArea*>(widget())->Description();
    if (t == QAccessible::Description && !described.empty()) {
      return QString::fromUtf8(described.data(), static_cast<qsizetype>(described.size()));
    }
    return QAccessibleWidget::text(t);
  }
};

class AnnouncementAccessible : public QAccessibleObject {
 public:
  explicit AnnouncementAccessible(QtAnnouncement* announcement) : QAccessibleObject(announcement) {}

  QAccessibleInterface* parent() const override {
    QObject* owner = object()->parent();
    return QAccessible::queryAccessibleInterface(owner ? owner : QCoreApplication::instance());
  }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QString text(QAccessible::Text t) const override {
    return t == QAccessible::Name ? static_cast<QtAnnouncement*>(object())->Message() : QString();
  }
  QAccessible::Role role() const override { return QAccessible::Notification; }
  QAccessible::State state() const override {
    QAccessible::State state;
    state.invisible = static_cast<QtAnnouncement*>(object())->Message().isEmpty();
    return state;
  }
};

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  static const QString kList = QString::fromLatin1(QtListView::staticMetaObject.className());
  static const QString kBar = QString::fromLatin1(QtScrollBar::staticMetaObject.className());
  static const QString kArea = QString::fromLatin1(QtDrawingArea::staticMetaObject.className());
  static const QString kAnnouncement =
      QString::fromLatin1(QtAnnouncement::staticMetaObject.className());
  if (!object) return nullptr;
  if (className == kList) return new ListViewAccessible(static_cast<QtListView*>(object));
  if (className == kBar) return new ScrollBarAccessible(static_cast<QtScrollBar*>(object));
  if (className == kArea) return new DrawingAreaAccessible(static_cast<QtDrawingArea*>(object));
  if (className == kAnnouncement) {
    return new AnnouncementAccessible(static_cast<QtAnnouncement*>(object));
  }
  return nullptr;
}

}  // namespace

void InstallAccessibleFactory() {
  static const bool installed = [] {
    QAccessible::installFactory(Factory);
    return true;
  }();
  (void)installed;
}

}  // namespace pelmora::toolkit::qt
