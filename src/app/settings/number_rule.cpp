#include "app/settings/number_rule.h"

#include <climits>

namespace kvx {

namespace {

int digitValue(char c, int base) {
    int d = -1;
    if (c >= '0' && c <= '9')
        d = c - '0';
    else if (c >= 'a' && c <= 'f')
        d = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F')
        d = c - 'A' + 10;
    return d < base ? d : -1;
}

} // namespace

int settingNumber(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t'))
        ++i;
    if (i < text.size() && (text[i] == '-' || text[i] == '+'))
        ++i;
    int base = 10;
    if (i < text.size() && (text[i] == '$' || text[i] == 'x' || text[i] == 'X')) {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    int result = 0;
    for (; i < text.size(); ++i) {
        const int d = digitValue(text[i], base);
        if (d < 0)
            break;
        if (result > (INT_MAX - d) / base)
            return INT_MAX; // saturate rather than wrap: a huge number is not a small one
        result = result * base + d;
    }
    return result;
}

bool equalsOne(const std::string& text) {
    return text == "1";
}

int trackBarPosition(int number) {
    return number < 1 ? 1 : (number > 20 ? 20 : number);
}

} // namespace kvx
