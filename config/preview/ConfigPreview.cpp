// Shows the configuration dialog over a stand-in main window, for looking
// at it and trying the card search by hand:
//   pluvane-config-preview [HOST [PORT [CARD]]]
// Prints the dialog's properties when it has closed.
#include "config/ConfigDialog.h"

#include <QApplication>
#include <QWidget>
#include <QTextStream>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();

    QWidget owner;
    owner.setWindowTitle(QStringLiteral("Pluvane"));
    owner.setGeometry(40, 40, 480, 320);
    owner.show();

    config::ConfigDialog dialog;
    dialog.setHostNam(args.value(1));
    dialog.setHostSvc(args.value(2));
    dialog.setCardNum(int16_t(args.value(3, QStringLiteral("0")).toShort()));
    dialog.setIFInput(1);
    dialog.setIFTFreq(0);
    dialog.ShowModal(&owner);

    QTextStream(stdout) << "HostNam=" << dialog.HostNam() << " HostSvc=" << dialog.HostSvc()
                        << " CardTyp=" << dialog.CardTyp() << " CardNum=" << dialog.CardNum()
                        << " IFInput=" << dialog.IFInput() << " IFTFreq=" << dialog.IFTFreq() << '\n';
    return 0;
}
