// Number and string texts of the bodies sent to the web API.
#include <gtest/gtest.h>

#include "JsonText.h"

using exportjob::FormatGeneral;
using exportjob::Json;
using exportjob::JsonToAsciiText;
using exportjob::JsonToText;

TEST(JsonText, GeneralNumberFormat) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        {3, "3"},
        {12.5, "12.5"},
        {21.5, "21.5"},
        {1.0 / 3, "0.333333333333333"},
        {2.0 / 3, "0.666666666666667"},
        {-0.25, "-0.25"},
        {3.075, "3.075"},
        {100.0 / 40 * 1.23, "3.075"},
        {0.00001, "0.00001"},
        {0.000012345, "0.000012345"},
        {1e-6, "1E-6"},
        {-1.5e-7, "-1.5E-7"},
        {1e20, "1E20"},
        {123456789012345.0, "123456789012345"},
        {1234567890123456.0, "1.23456789012346E15"},
        {999999999999999.9, "1E15"},
        {0.1 + 0.2, "0.3"},
        {1500, "1500"},
        {0, "0"},
    };
    for (const auto& c : cases) EXPECT_EQ(FormatGeneral(c.value), c.text) << c.value;
}

TEST(JsonText, CompactOrderedUtf8Document) {
    Json doc = Json::object();
    doc["Zeta"] = 1;
    doc["Alfa"] = "Tecelagem Ação/ç \"x\" \\ \n";
    doc["Quantidade"] = 150.0 / 12;
    doc["Inteiro"] = 30.0 / 10;
    doc["Lista"] = Json::array({Json::object({{"Chave", "RPM"}, {"Valor", "450"}}), 7});
    EXPECT_EQ(JsonToText(Json::array({doc})),
              "[{\"Zeta\":1,\"Alfa\":\"Tecelagem Ação/ç \\\"x\\\" \\\\ \\n\",\"Quantidade\":12.5,"
              "\"Inteiro\":3,\"Lista\":[{\"Chave\":\"RPM\",\"Valor\":\"450\"},7]}]");
}

TEST(JsonText, LoginBodyIsPrintableAscii) {
    Json body = Json::object();
    body["login"] = "joão/admin";
    body["senha"] = "s\"e\\n\tha€😀";
    body["idCliente"] = 12;
    EXPECT_EQ(JsonToAsciiText(body),
              "{\"login\":\"jo\\u00E3o\\/admin\",\"senha\":\"s\\\"e\\\\n\\u0009ha\\u20AC\\uD83D\\uDE00\","
              "\"idCliente\":12}");
}
