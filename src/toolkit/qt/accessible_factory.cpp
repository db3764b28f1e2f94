// SPDX-License-Identifier: MIT
#include "toolkit/qt/accessible_factory.h"

#include <QAccessible>
#include <QAccessibleWidget>

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

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  static const QString kList = QString::fromLatin1(QtListView::staticMetaObject.className());
  static const QString kBar = QString::fromLatin1(QtScrollBar::staticMetaObject.className());
  if (!object) return nullptr;
  if (className == kList) return new ListViewAccessible(static_cast<QtListView*>(object));
  if (className == kBar) return new ScrollBarAccessible(static_cast<QtScrollBar*>(object));
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
