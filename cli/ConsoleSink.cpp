#include "cli/ConsoleSink.h"

#include <iostream>
#include <string>

namespace qorlu::cli {

ConsoleSink::ConsoleSink(bool answerYes, std::istream* answers)
    : m_answerYes(answerYes), m_answers(answers != nullptr ? answers : &std::cin) {}

Answer ConsoleSink::Show(const Notice& notice) {
    if (notice.buttons == Buttons::YesNo) {
        std::cout << notice.text << (m_answerYes ? " y\n" : " [y/n] ") << std::flush;
        if (m_answerYes) return Answer::Yes;
        std::string line;
        while (std::getline(*m_answers, line)) {
            if (line == "y" || line == "Y" || line == "yes") return Answer::Yes;
            if (line == "n" || line == "N" || line == "no") return Answer::No;
            std::cout << "please answer y or n: " << std::flush;
        }
        std::cout << "\n";
        return Answer::No; // end of input answers No
    }
    if (notice.outcome == Outcome::Success) {
        std::cout << notice.text << std::endl;
    } else {
        if (notice.outcome == Outcome::Failure) ++m_failures;
        std::cerr << notice.text << std::endl;
    }
    return Answer::Ok;
}

} // namespace qorlu::cli
