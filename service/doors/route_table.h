#pragma once
// The doors, opened over the shared operations, and the route table that
// names them: the one file a new door is added to (route_table.cpp).
#include <memory>
#include <vector>

#include "service/app/door.h"
#include "service/app/operations.h"

namespace snipora::service {

struct OpenDoors {
  std::vector<std::unique_ptr<Door>> doors;  // what the routes point at
  std::vector<Route> routes;                  // in the order they are tried
};
OpenDoors OpenEveryDoor(Operations& operations);

}  // namespace snipora::service
