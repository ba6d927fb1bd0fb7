// Stand-in for the one macro the AGG 2.4 headers take from their host project.
#pragma once
#ifndef MAPNIK_DECL
#define MAPNIK_DECL
#endif
