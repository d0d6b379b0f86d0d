#pragma once
// One row of a Qt Test table: its tag, then its values in the order of the
// columns (a C string goes into a QString column, as with QTest::newRow).
#include <QTest>

namespace tellavo::test {

template <typename... Values>
void row(const char* tag, const Values&... values)
{
    (QTest::newRow(tag) << ... << values);
}

}  // namespace tellavo::test
