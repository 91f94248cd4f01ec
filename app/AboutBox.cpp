#include "app/AboutBox.h"

#include "platform/BuildInfo.h"

#include <QAction>
#include <QMessageBox>
#include <QWidget>
#include <QtGlobal>

namespace tessek {

QString AboutText()
{
    return QString(
               "<h3>Tessek %1</h3>"
               "<p>Data logger and diagnostic reader for the engine control module (LM) of a 1987 "
               "turbocharged car.</p>"
               "<p>Licence: GNU General Public License, version 3 or (at your option) any later version "
               "(GPL-3.0-or-later). Tessek comes with ABSOLUTELY NO WARRANTY.</p>"
               "<p>Built with Qt %2 and QCustomPlot.</p>")
        .arg(kVersion, QT_VERSION_STR);
}

void AddAboutAction(QWidget& window)
{
    auto* about = new QAction("About Tessek", &window);
    about->setObjectName("actionAbout");
    about->setShortcut(QKeySequence::HelpContents);
    QObject::connect(about, &QAction::triggered, &window,
                     [&window] { QMessageBox::about(&window, "About Tessek", AboutText()); });
    window.addAction(about);
    window.setContextMenuPolicy(Qt::ActionsContextMenu);
}

}  // namespace tessek
