// SPDX-License-Identifier: MIT
#include "toolkit/qt/accessible_factory.h"

#include <QAccessible>
#include <QAccessibleObject>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QHash>
#include <QtGlobal>

#include "toolkit/qt/announcement.h"
#include "toolkit/qt/drawing_area.h"
#include "toolkit/qt/list_accessible.h"
#include "toolkit/qt/list_view.h"
#include "toolkit/qt/scroll_bar.h"

namespace pelmora::toolkit::qt {
namespace {

// The bar's value, range and step in its accessible unit; where Qt hands
// an object's attributes to assistive tools (6.8 on), the value's text too,
// as the attribute "valuetext" that screen readers say for a value.
class ScrollBarAccessible : public QAccessibleWidget,
                            public QAccessibleValueInterface
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    ,
                            public QAccessibleAttributesInterface
#endif
{
 public:
  explicit ScrollBarAccessible(QtScrollBar* bar) : QAccessibleWidget(bar, QAccessible::ScrollBar) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
    if (type == QAccessible::AttributesInterface) {
      return static_cast<QAccessibleAttributesInterface*>(this);
    }
#endif
    return QAccessibleWidget::interface_cast(type);
  }
  QVariant currentValue() const override { return Bar()->AccessibleValue(Bar()->value()); }
  void setCurrentValue(const QVariant& value) override {
    Bar()->setValue(qRound(value.toDouble() / Bar()->AccessibleUnit()));
  }
  QVariant maximumValue() const override { return Bar()->AccessibleValue(Bar()->maximum()); }
  QVariant minimumValue() const override { return Bar()->AccessibleValue(Bar()->minimum()); }
  QVariant minimumStepSize() const override {
    return Bar()->AccessibleValue(Bar()->singleStep());
  }

#if QT_VERSION >= QT_VERSION_CHECK(6, 8, 0)
  QList<QAccessible::Attribute> attributeKeys() const override {
    return {QAccessible::Attribute::Custom};
  }
  QVariant attributeValue(QAccessible::Attribute key) const override {
    const std::string text = Bar()->AccessibleValueText();
    if (key != QAccessible::Attribute::Custom || text.empty()) return {};
    QHash<QString, QString> custom;
    custom.insert(QStringLiteral("valuetext"), QString::fromStdString(text));
    return QVariant::fromValue(custom);
  }
#endif

 private:
  QtScrollBar* Bar() const { return static_cast<QtScrollBar*>(widget()); }
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

void RenewAccessibleInterface(QObject* object) {
  if (QAccessibleInterface* made = QAccessible::queryAccessibleInterface(object)) {
    QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(made));
  }
}

}  // namespace pelmora::toolkit::qt
