// The fixed messages each module raises, as its callers see them; shared by the test
// suites and the fuzzers.
#ifndef MESSAGES_H
#define MESSAGES_H

namespace messages {

namespace permanent {
const char *const kCounts = "Needs 2 inputs and 1 output";
const char *const kClass = "Input 1 and 2 need to be double type";
const char *const kFull = "Input 1 and 2 need to be full matrices";
const char *const kSquare = "Input 1 needs to be a square matrix and needs to have the same "
                            "number of rows as the number of column of the second argument";
const char *const kColumns = "Input 2 should have the same number of column as Input 1 "
                             "(# of rows not checked)";
const char *const kRows = "Input 2 should have fact(n) rows";
const char *const kEntry = "Input 2 entries need to select a column of Input 1";
} // namespace permanent

namespace expandTally {
const char *const kCounts = "Needs 1 inputs and 2 outputs";
const char *const kClass = "Inputs needs to be double type";
const char *const kFull = "Input needs to be a full matrix";
const char *const kElements = "Input needs to have at most 2^31-1 elements";
const char *const kRange = "Input counts need to be between 0 and 2^31-1";
const char *const kTotal = "Input counts need to sum to at most 2^31-1";
} // namespace expandTally

namespace edgejoin {
const char *const kCounts = "Needs 2 inputs and 2 outputs";
const char *const kClass = "Inputs need to be double type";
const char *const kFull = "Inputs need to be full matrices";
const char *const kColumns = "Inputs need to be nEdges x 3 matrices";
const char *const kDims = "Inputs need to be 2-D matrices";
const char *const kJoins = "Inputs need to give at most 2^31-1 joined edges";
} // namespace edgejoin

} // namespace messages

#endif
