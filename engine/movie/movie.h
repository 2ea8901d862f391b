// Movies: movie handles, the platform movie graph and the Theora player.
#pragma once
