#pragma once
// The standby's proof: the reserve database, brought online, holds the rows the main database
// holds. Both are read through the real client library, on connections of their own.
#include "client/Sybase.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace tvr::testing {

// Brings sales_copy online on `reserveServer` and expects its orders to equal those of sales
// on `mainServer`, with between `minRows` and `maxRows` rows.
inline void expectReserveEqualsMain(const std::string& mainServer, const std::string& reserveServer,
                                    int minRows, int maxRows = INT_MAX) {
    tvr::client::TSybaseConnect mainReader(mainServer, "sa", "", "", "");
    tvr::client::TSybaseConnect reserveReader(reserveServer, "sa", "", "", "");
    ASSERT_EQ(mainReader.Connect(), CS_SUCCEED);
    ASSERT_EQ(reserveReader.Connect(), CS_SUCCEED);
    reserveReader.Execute("online database sales_copy");
    reserveReader.Execute("use sales_copy");
    mainReader.Execute("use sales");
    mainReader.Execute("select id, item from orders order by id");
    reserveReader.Execute("select id, item from orders order by id");
    EXPECT_EQ(mainReader.ColTexts(), reserveReader.ColTexts());
    EXPECT_GE(mainReader.RowCount(), minRows);
    EXPECT_LE(mainReader.RowCount(), maxRows);
}

}  // namespace tvr::testing
