#pragma once
// The hardening tests' count of what they tried, for the figures the suite
// prints (tests/hardening/figures.sh). A Qt Test counts in its rows and calls
// row() in cleanup() and write() in cleanupTestCase(), as CountedTest does.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QTest>
#include <QTextStream>

#include <utility>

class Figures {
public:
    explicit Figures(QString test) : test_(std::move(test)) {}

    // One finished row that tried `inputs` bad inputs and injected `faults`
    // faults; a failed row counts as failed, whatever it tried.
    void row(int inputs, int faults)
    {
        if (QTest::currentTestFailed()) {
            ++failed_;
            return;
        }
        inputs_ += inputs;
        faults_ += faults;
    }
    void failed() { ++failed_; }

    void write() const
    {
        const QString dir = qEnvironmentVariable("TELLAVO_FIGURES_DIR");
        if (dir.isEmpty())
            return;
        QDir().mkpath(dir);
        QFile file(dir + QLatin1Char('/') + test_ + QLatin1String(".txt"));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            qFatal("cannot write the figures to %s", qPrintable(file.fileName()));
        QTextStream(&file) << "inputs " << inputs_ << "\nfaults " << faults_ << "\nfailed "
                           << failed_ << "\n";
    }

private:
    QString test_;
    int inputs_ = 0;
    int faults_ = 0;
    int failed_ = 0;
};

// The hardening tests' QObject. A row adds to inputs_ and faults_ what it has
// tried; cleanup() counts them into the figures, filed under the test's
// executable name, which is what figures.sh looks for. A test with a cleanup()
// of its own calls countRow() there.
class CountedTest : public QObject {
    Q_OBJECT
protected:
    int inputs_ = 0;
    int faults_ = 0;
    void countRow()
    {
        figures_.row(inputs_, faults_);
        inputs_ = faults_ = 0;
    }

private slots:
    void cleanup() { countRow(); }
    void cleanupTestCase() { figures_.write(); }

private:
    Figures figures_{QCoreApplication::applicationName()};
};
