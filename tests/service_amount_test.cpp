// The service's amount rule and its one rounding rule for printed values, as
// tables: what the window may send, what it means, and how results are written.
#include "service/amount.h"
#include "service/decimal.h"

#include <gtest/gtest.h>

using namespace korvalux::service;

namespace
{

Fraction decimal(const char *text)
{
    auto value = parseDecimal(text);
    EXPECT_TRUE(value) << text;
    return value.value_or(Fraction {});
}

} // namespace

TEST(ServiceAmount, AcceptedShapes)
{
    struct Row {
        const char *input;
        const char *echo;
        const char *value;
    };
    const Row rows[] = {
        {"100", "100", "100"},
        {"  100 ", "100", "100"},
        {"+5", "5", "5"},
        {"-2.5", "-2.5", "-2.5"},
        {"-0", "0", "0"},
        {"007", "7", "7"},
        {"1000.50", "1000.50", "1000.5"},
        {".5", "0.5", "0.5"},
        {"5.", "5", "5"},
        {"1,000.50", "1000.50", "1000.5"},
        {"1,000,000", "1000000", "1000000"},
        {"12,345,678.9", "12345678.9", "12345678.9"},
        {"1,5", "1.5", "1.5"},
        {"1,50", "1.50", "1.5"},
        {"1,500", "1500", "1500"}, // a comma before exactly three digits groups thousands
        {"0,500", "0.500", "0.5"}, // but a first group of "0" cannot start grouping
        {"1234,5", "1234.5", "1234.5"},
        {"1234,567", "1234.567", "1234.567"},
        {",5", "0.5", "0.5"},
        {"1000000000000000", "1000000000000000", "1000000000000000"},
        {"-1000000000000000", "-1000000000000000", "-1000000000000000"},
        {"0.000000000000000000000000000001", "0.000000000000000000000000000001", "1e-30"},
    };
    for (const auto &row : rows) {
        const auto result = parseAmount(row.input);
        ASSERT_TRUE(std::holds_alternative<Amount>(result)) << row.input;
        const auto &amount = std::get<Amount>(result);
        EXPECT_EQ(amount.text, row.echo) << row.input;
        EXPECT_TRUE(amount.value == decimal(row.value)) << row.input;
    }
}

TEST(ServiceAmount, RefusedShapes)
{
    struct Row {
        const char *input;
        AmountError error;
    };
    const Row rows[] = {
        {"", AmountError::Empty},
        {"   ", AmountError::Empty},
        {"1,5 x", AmountError::NotANumber},
        {"abc", AmountError::NotANumber},
        {"1.000,50", AmountError::NotANumber}, // grouping dots are not ours
        {"1,00,000", AmountError::NotANumber},
        {"1,0000,000", AmountError::NotANumber},
        {"1.5.2", AmountError::NotANumber},
        {"1,5,2", AmountError::NotANumber},
        {"1,5.2", AmountError::NotANumber},
        {"--1", AmountError::NotANumber},
        {"+", AmountError::NotANumber},
        {"-", AmountError::NotANumber},
        {".", AmountError::NotANumber},
        {",", AmountError::NotANumber},
        {"1e5", AmountError::NotANumber},
        {"0x10", AmountError::NotANumber},
        {"1 000", AmountError::NotANumber},
        {"\xef\xbc\x91", AmountError::NotANumber}, // a full-width digit one
        {"1\t", AmountError::NotANumber},
        {"1000000000000000.01", AmountError::TooLarge},
        {"-9999999999999999", AmountError::TooLarge},
        {"12345678901234567890123456789012345678901", AmountError::TooLong},
    };
    for (const auto &row : rows) {
        const auto result = parseAmount(row.input);
        ASSERT_TRUE(std::holds_alternative<AmountError>(result)) << row.input;
        EXPECT_EQ(std::get<AmountError>(result), row.error) << row.input;
    }
}

TEST(ServiceDecimal, ParsesFeedNumbers)
{
    struct Row {
        const char *text;
        long long num;
        long long den; // the value is num / den
    };
    const Row rows[] = {
        {"1.1415", 11415, 10000},
        {"185.31", 18531, 100},
        {"0.85538", 85538, 100000},
        {"1.8061147e-05", 18061147, 1'000'000'000'000},
        {"2E+3", 2000, 1},
        {"-4", -4, 1},
        {"20565.38", 2056538, 100},
        {"7", 7, 1},
    };
    for (const auto &row : rows) {
        const auto parsed = parseDecimal(row.text);
        ASSERT_TRUE(parsed) << row.text;
        EXPECT_TRUE(*parsed == (Fraction {BigInt(row.num), BigInt(row.den)})) << row.text;
    }
    for (const char *bad : {"", "-", ".", "x", "1e", "1e999", "NaN", "inf", "1,5", " 1", "1.2.3"})
        EXPECT_FALSE(parseDecimal(bad)) << bad;
}

TEST(ServiceDecimal, FormatsWithFourSignificantDigitsAndTiesToEven)
{
    struct Row {
        Fraction value;
        const char *text;
    };
    const Row rows[] = {
        {decimal("87.604029785370"), "87.6040"},
        {decimal("87.60405"), "87.6040"}, // tie, even stays
        {decimal("87.60415"), "87.6042"}, // tie, odd goes up
        {decimal("87.604150001"), "87.6042"},
        {decimal("0.00539636"), "0.005396"}, // 1 JPY in EUR: never 0.01 or 0.0054
        {decimal("0.05"), "0.05000"},
        {decimal("0.5"), "0.5000"},
        {decimal("0.00009999"), "0.00009999"},
        {decimal("0.000099995"), "0.00010000"}, // tie: 9999|5 goes to the even 10000
        {decimal("0.00000000000000001357"), "0.00000000000000001357"},
        {decimal("-0.00539636"), "-0.005396"},
        {decimal("0"), "0.0000"},
        {decimal("-0.00000"), "0.0000"},
        {decimal("1000000000000000"), "1000000000000000.0000"},
        {decimal("999999999999999.99995"), "1000000000000000.0000"},
        {decimal("123456789012345678901234567890.12345"), "123456789012345678901234567890.1234"},
        {Fraction {BigInt(1), BigInt(3)}, "0.3333"},
        {Fraction {BigInt(2), BigInt(3)}, "0.6667"},
        {Fraction {BigInt(-1), BigInt(8)}, "-0.1250"},
        {Fraction {BigInt(1), BigInt(80000)}, "0.00001250"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(formatValue(row.value), row.text) << row.text;
}

TEST(ServiceDecimal, NoBinaryFloatingPointErrorUpToTenToTheFifteen)
{
    // Values a double cannot hold exactly keep every digit.
    struct Row {
        const char *amount;
        const char *factor;
        const char *text;
    };
    const Row rows[] = {
        {"999999999999999.99", "1", "999999999999999.9900"},
        {"1000000000000000", "0.1", "100000000000000.0000"},
        {"123456789012345.67", "3", "370370367037037.0100"},
        {"0.1", "3", "0.3000"},
        {"1000000000000000", "1.1415", "1141500000000000.0000"},
        {"1000000000000000", "239.640", "239640000000000000.0000"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(formatValue(decimal(row.amount) * decimal(row.factor)), row.text) << row.amount;
}

TEST(ServiceDecimal, ExactRates)
{
    struct Row {
        Fraction value;
        const char *text;
    };
    const Row rows[] = {
        {decimal("1.95583"), "1.95583"},
        {decimal("3.6725") * decimal("1.1415"), "4.19215875"},
        {decimal("736.6990462") * decimal("100000000000000"), "73669904620000000"},
        {Fraction {BigInt(1), BigInt(3)}, "0.3333"},
    };
    for (const auto &row : rows)
        EXPECT_EQ(formatExact(row.value), row.text) << row.text;
}
