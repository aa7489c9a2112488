#include "geo/LinearSystem.h"

#include <cmath>
#include <utility>

bool SolveThreeByThree(const double a[3][3], const double b[3], double x[3], double tiny)
{
    double m[3][4];
    for (int i = 0; i < 3; ++i)
    {
        for (int j = 0; j < 3; ++j)
            m[i][j] = a[i][j];
        m[i][3] = b[i];
    }
    for (int col = 0; col < 3; ++col)
    {
        int pivot = col;
        for (int row = col + 1; row < 3; ++row)
            if (std::fabs(m[row][col]) > std::fabs(m[pivot][col]))
                pivot = row;
        if (!(std::fabs(m[pivot][col]) > tiny))
            return false;
        std::swap(m[col], m[pivot]);
        for (int row = 0; row < 3; ++row)
        {
            if (row == col)
                continue;
            const double factor = m[row][col] / m[col][col];
            for (int j = col; j < 4; ++j)
                m[row][j] -= factor * m[col][j];
        }
    }
    for (int i = 0; i < 3; ++i)
        x[i] = m[i][3] / m[i][i];
    return true;
}
