// The fetch still loads its flights into the replay's table; these read it for the fetch
// alone, until it plans from flight values.
#include "log/SampleTable.h"
#include "world/TilePlan.h"

std::vector<GridTile> TilesUnderLoadedFlight()
{
    return TilesUnderFlights({TableRows()});
}

CorridorPlan PlanCorridor(int32_t CI, int32_t CJ, const std::vector<PlannedFile>& rings)
{
    return PlanCorridorAround(CI, CJ, TilesUnderLoadedFlight(), rings);
}
