// SPDX-License-Identifier: MIT
#include "toolkit/qt/accessible_factory.h"

#include <QAccessible>

#include "toolkit/qt/list_accessible.h"
#include "toolkit/qt/list_view.h"

namespace pelmora::toolkit::qt {
namespace {

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  static const QString kList = QString::fromLatin1(QtListView::staticMetaObject.className());
  if (!object) return nullptr;
  if (className == kList) return new ListViewAccessible(static_cast<QtListView*>(object));
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
