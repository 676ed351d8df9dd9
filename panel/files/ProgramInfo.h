#pragma once

// Answers --help (-h) and --version on standard output before a program
// builds its application object, so both work without a display. True when
// one was answered and the program is to end with status 0.
bool AnswerInfoOptions(int argc, char* argv[], const char* program, const char* help);
