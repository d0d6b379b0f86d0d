// The floor the frugality benchmark compares with: a bare Qt Widgets program,
// one label and a one-second timer that sets the same text again, and nothing
// else. Whatever it costs, any Qt indicator costs at least.
#include <QApplication>
#include <QLabel>
#include <QTimer>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel label(QStringLiteral(" 57%"));
    label.setWindowFlags(Qt::Tool | Qt::FramelessWindowHint);
    label.show();
    QTimer timer;
    timer.setTimerType(Qt::CoarseTimer);
    QObject::connect(&timer, &QTimer::timeout, &label,
                     [&label] { label.setText(QStringLiteral(" 57%")); });
    timer.start(1000);
    return app.exec();
}
