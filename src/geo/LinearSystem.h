#pragma once

// The small linear systems the least-squares fits come to (a circle through ground velocities,
// a clip's offset and rate): a x = b for three unknowns, by elimination with partial pivoting.
// False when a pivot is at most `tiny` in size: the system fixes no one answer.
bool SolveThreeByThree(const double a[3][3], const double b[3], double x[3], double tiny);
