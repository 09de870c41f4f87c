{
 "patcher": {
  "fileversion": 1,
  "appversion": {
   "major": 8,
   "minor": 6,
   "revision": 0,
   "architecture": "x64",
   "modernui": 1
  },
  "classnamespace": "box",
  "rect": [
   100.0,
   100.0,
   700.0,
   460.0
  ],
  "gridsize": [
   15.0,
   15.0
  ],
  "boxes": [
   {
    "box": {
     "id": "obj-1",
     "maxclass": "newobj",
     "numinlets": 0,
     "numoutlets": 0,
     "patching_rect": [
      20.0,
      20.0,
      90.0,
      22
     ],
     "text": "p basic",
     "fontsize": 12.0,
     "patcher": {
      "fileversion": 1,
      "appversion": {
       "major": 8,
       "minor": 6,
       "revision": 0,
       "architecture": "x64",
       "modernui": 1
      },
      "classnamespace": "box",
      "rect": [
       100.0,
       100.0,
       700.0,
       460.0
      ],
      "gridsize": [
       15.0,
       15.0
      ],
      "boxes": [
       {
        "box": {
         "id": "obj-1",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          20.0,
          10.0,
          640.0,
          26.0
         ],
         "text": "qz.pitchtally: recurring pitches of a pitch stream",
         "fontsize": 16.0,
         "fontface": 1
        }
       },
       {
        "box": {
         "id": "obj-2",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          250.0,
          44.0,
          170.0,
          22.0
         ],
         "text": "amplitude (right inlet)"
        }
       },
       {
        "box": {
         "id": "obj-3",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          380.0,
          78.0,
          30.0,
          22.0
         ],
         "text": "0.8",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-4",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          20.0,
          112.0,
          78.0,
          22.0
         ],
         "text": "60, 60, 61",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-5",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          500.0,
          146.0,
          90.0,
          22.0
         ],
         "text": "wait 300 ms"
        }
       },
       {
        "box": {
         "id": "obj-6",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          330.0,
          180.0,
          30.0,
          22.0
         ],
         "text": "0.2",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-7",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          110.0,
          214.0,
          30.0,
          22.0
         ],
         "text": "60",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-8",
         "maxclass": "newobj",
         "numinlets": 2,
         "numoutlets": 3,
         "outlettype": [
          "float",
          "float",
          "float"
         ],
         "patching_rect": [
          20.0,
          248.0,
          400.0,
          22.0
         ],
         "text": "qz.pitchtally 16 @window 1000 @minproba 0.7",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-9",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          440.0,
          248.0,
          240.0,
          22.0
         ],
         "text": "wait 700 ms: the first agents end"
        }
       },
       {
        "box": {
         "id": "obj-10",
         "maxclass": "flonum",
         "numinlets": 1,
         "numoutlets": 2,
         "outlettype": [
          "",
          "bang"
         ],
         "patching_rect": [
          20.0,
          282.0,
          60.0,
          22.0
         ],
         "format": 6,
         "parameter_enable": 0
        }
       },
       {
        "box": {
         "id": "obj-11",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          86.0,
          282.0,
          140.0,
          22.0
         ],
         "text": "= 60.0 pitch"
        }
       },
       {
        "box": {
         "id": "obj-12",
         "maxclass": "flonum",
         "numinlets": 1,
         "numoutlets": 2,
         "outlettype": [
          "",
          "bang"
         ],
         "patching_rect": [
          230.0,
          282.0,
          60.0,
          22.0
         ],
         "format": 6,
         "parameter_enable": 0
        }
       },
       {
        "box": {
         "id": "obj-13",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          296.0,
          282.0,
          140.0,
          22.0
         ],
         "text": "= 0.6 amplitude"
        }
       },
       {
        "box": {
         "id": "obj-14",
         "maxclass": "flonum",
         "numinlets": 1,
         "numoutlets": 2,
         "outlettype": [
          "",
          "bang"
         ],
         "patching_rect": [
          440.0,
          282.0,
          60.0,
          22.0
         ],
         "format": 6,
         "parameter_enable": 0
        }
       },
       {
        "box": {
         "id": "obj-15",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          506.0,
          282.0,
          140.0,
          22.0
         ],
         "text": "= 0.75 probability"
        }
       },
       {
        "box": {
         "id": "obj-16",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          20.0,
          350.0,
          560.0,
          51.0
         ],
         "text": "Each pitch starts an agent that counts the events of the next second. The first 60 met 60, 61 and 60 again: 3 of 4, with amplitudes 0.8, 0.8 and 0.2. The others stay below the threshold (minproba 0.7)."
        }
       }
      ],
      "lines": [
       {
        "patchline": {
         "source": [
          "obj-3",
          0
         ],
         "destination": [
          "obj-8",
          1
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-4",
          0
         ],
         "destination": [
          "obj-8",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-6",
          0
         ],
         "destination": [
          "obj-8",
          1
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-7",
          0
         ],
         "destination": [
          "obj-8",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-8",
          0
         ],
         "destination": [
          "obj-10",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-8",
          1
         ],
         "destination": [
          "obj-12",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-8",
          2
         ],
         "destination": [
          "obj-14",
          0
         ]
        }
       }
      ],
      "showontab": 1
     }
    }
   },
   {
    "box": {
     "id": "obj-2",
     "maxclass": "newobj",
     "numinlets": 0,
     "numoutlets": 0,
     "patching_rect": [
      130.0,
      20.0,
      90.0,
      22
     ],
     "text": "p window",
     "fontsize": 12.0,
     "patcher": {
      "fileversion": 1,
      "appversion": {
       "major": 8,
       "minor": 6,
       "revision": 0,
       "architecture": "x64",
       "modernui": 1
      },
      "classnamespace": "box",
      "rect": [
       100.0,
       100.0,
       700.0,
       460.0
      ],
      "gridsize": [
       15.0,
       15.0
      ],
      "boxes": [
       {
        "box": {
         "id": "obj-1",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          20.0,
          10.0,
          640.0,
          26.0
         ],
         "text": "qz.pitchtally: window and minproba",
         "fontsize": 16.0,
         "fontface": 1
        }
       },
       {
        "box": {
         "id": "obj-2",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          20.0,
          78.0,
          78.0,
          22.0
         ],
         "text": "window 200",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-3",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          440.0,
          78.0,
          30.0,
          22.0
         ],
         "text": "0.5",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-4",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          110.0,
          112.0,
          78.0,
          22.0
         ],
         "text": "60, 62, 60",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-5",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          560.0,
          146.0,
          90.0,
          22.0
         ],
         "text": "wait 100 ms"
        }
       },
       {
        "box": {
         "id": "obj-6",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          200.0,
          180.0,
          85.0,
          22.0
         ],
         "text": "window 1000",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-7",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          390.0,
          180.0,
          30.0,
          22.0
         ],
         "text": "0.9",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-8",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          300.0,
          214.0,
          30.0,
          22.0
         ],
         "text": "62",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-9",
         "maxclass": "newobj",
         "numinlets": 2,
         "numoutlets": 3,
         "outlettype": [
          "float",
          "float",
          "float"
         ],
         "patching_rect": [
          20.0,
          248.0,
          460.0,
          22.0
         ],
         "text": "qz.pitchtally 16 @minproba 0.6",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-10",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          500.0,
          248.0,
          90.0,
          22.0
         ],
         "text": "wait 100 ms"
        }
       },
       {
        "box": {
         "id": "obj-11",
         "maxclass": "flonum",
         "numinlets": 1,
         "numoutlets": 2,
         "outlettype": [
          "",
          "bang"
         ],
         "patching_rect": [
          20.0,
          282.0,
          60.0,
          22.0
         ],
         "format": 6,
         "parameter_enable": 0
        }
       },
       {
        "box": {
         "id": "obj-12",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          86.0,
          282.0,
          140.0,
          22.0
         ],
         "text": "= 62.0 pitch"
        }
       },
       {
        "box": {
         "id": "obj-13",
         "maxclass": "flonum",
         "numinlets": 1,
         "numoutlets": 2,
         "outlettype": [
          "",
          "bang"
         ],
         "patching_rect": [
          230.0,
          282.0,
          60.0,
          22.0
         ],
         "format": 6,
         "parameter_enable": 0
        }
       },
       {
        "box": {
         "id": "obj-14",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          296.0,
          282.0,
          140.0,
          22.0
         ],
         "text": "= 0.7 amplitude"
        }
       },
       {
        "box": {
         "id": "obj-15",
         "maxclass": "flonum",
         "numinlets": 1,
         "numoutlets": 2,
         "outlettype": [
          "",
          "bang"
         ],
         "patching_rect": [
          440.0,
          282.0,
          60.0,
          22.0
         ],
         "format": 6,
         "parameter_enable": 0
        }
       },
       {
        "box": {
         "id": "obj-16",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          506.0,
          282.0,
          140.0,
          22.0
         ],
         "text": "= 0.6667 probability"
        }
       },
       {
        "box": {
         "id": "obj-17",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          20.0,
          350.0,
          560.0,
          51.0
         ],
         "text": "A new window applies to agents started afterwards: the first three end after 200 ms. Only the 62 reaches minproba 0.6: it met 60 and 62 (2 of 3, amplitudes 0.5 and 0.9)."
        }
       }
      ],
      "lines": [
       {
        "patchline": {
         "source": [
          "obj-2",
          0
         ],
         "destination": [
          "obj-9",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-3",
          0
         ],
         "destination": [
          "obj-9",
          1
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-4",
          0
         ],
         "destination": [
          "obj-9",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-6",
          0
         ],
         "destination": [
          "obj-9",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-7",
          0
         ],
         "destination": [
          "obj-9",
          1
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-8",
          0
         ],
         "destination": [
          "obj-9",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-9",
          0
         ],
         "destination": [
          "obj-11",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-9",
          1
         ],
         "destination": [
          "obj-13",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-9",
          2
         ],
         "destination": [
          "obj-15",
          0
         ]
        }
       }
      ],
      "showontab": 1
     }
    }
   },
   {
    "box": {
     "id": "obj-3",
     "maxclass": "newobj",
     "numinlets": 0,
     "numoutlets": 0,
     "patching_rect": [
      240.0,
      20.0,
      90.0,
      22
     ],
     "text": "p stop",
     "fontsize": 12.0,
     "patcher": {
      "fileversion": 1,
      "appversion": {
       "major": 8,
       "minor": 6,
       "revision": 0,
       "architecture": "x64",
       "modernui": 1
      },
      "classnamespace": "box",
      "rect": [
       100.0,
       100.0,
       700.0,
       460.0
      ],
      "gridsize": [
       15.0,
       15.0
      ],
      "boxes": [
       {
        "box": {
         "id": "obj-1",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          20.0,
          10.0,
          640.0,
          26.0
         ],
         "text": "qz.pitchtally: stop",
         "fontsize": 16.0,
         "fontface": 1
        }
       },
       {
        "box": {
         "id": "obj-2",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          300.0,
          78.0,
          30.0,
          22.0
         ],
         "text": "0.5",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-3",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          20.0,
          112.0,
          50.0,
          22.0
         ],
         "text": "60, 60",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-4",
         "maxclass": "message",
         "numinlets": 2,
         "numoutlets": 1,
         "outlettype": [
          ""
         ],
         "patching_rect": [
          110.0,
          146.0,
          36.0,
          22.0
         ],
         "text": "stop",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-5",
         "maxclass": "newobj",
         "numinlets": 2,
         "numoutlets": 3,
         "outlettype": [
          "float",
          "float",
          "float"
         ],
         "patching_rect": [
          20.0,
          180.0,
          320.0,
          22.0
         ],
         "text": "qz.pitchtally 16 @window 500",
         "fontsize": 12.0
        }
       },
       {
        "box": {
         "id": "obj-6",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          360.0,
          180.0,
          90.0,
          22.0
         ],
         "text": "wait 500 ms"
        }
       },
       {
        "box": {
         "id": "obj-7",
         "maxclass": "flonum",
         "numinlets": 1,
         "numoutlets": 2,
         "outlettype": [
          "",
          "bang"
         ],
         "patching_rect": [
          20.0,
          214.0,
          60.0,
          22.0
         ],
         "format": 6,
         "parameter_enable": 0
        }
       },
       {
        "box": {
         "id": "obj-8",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          86.0,
          214.0,
          140.0,
          22.0
         ],
         "text": "= 0 pitch"
        }
       },
       {
        "box": {
         "id": "obj-9",
         "maxclass": "flonum",
         "numinlets": 1,
         "numoutlets": 2,
         "outlettype": [
          "",
          "bang"
         ],
         "patching_rect": [
          230.0,
          214.0,
          60.0,
          22.0
         ],
         "format": 6,
         "parameter_enable": 0
        }
       },
       {
        "box": {
         "id": "obj-10",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          296.0,
          214.0,
          140.0,
          22.0
         ],
         "text": "= 0 amplitude"
        }
       },
       {
        "box": {
         "id": "obj-11",
         "maxclass": "flonum",
         "numinlets": 1,
         "numoutlets": 2,
         "outlettype": [
          "",
          "bang"
         ],
         "patching_rect": [
          440.0,
          214.0,
          60.0,
          22.0
         ],
         "format": 6,
         "parameter_enable": 0
        }
       },
       {
        "box": {
         "id": "obj-12",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          506.0,
          214.0,
          140.0,
          22.0
         ],
         "text": "= 0 probability"
        }
       },
       {
        "box": {
         "id": "obj-13",
         "maxclass": "comment",
         "numinlets": 1,
         "numoutlets": 0,
         "outlettype": [],
         "patching_rect": [
          20.0,
          282.0,
          500.0,
          22.0
         ],
         "text": "stop ends every running agent without a report: nothing comes out."
        }
       }
      ],
      "lines": [
       {
        "patchline": {
         "source": [
          "obj-2",
          0
         ],
         "destination": [
          "obj-5",
          1
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-3",
          0
         ],
         "destination": [
          "obj-5",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-4",
          0
         ],
         "destination": [
          "obj-5",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-5",
          0
         ],
         "destination": [
          "obj-7",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-5",
          1
         ],
         "destination": [
          "obj-9",
          0
         ]
        }
       },
       {
        "patchline": {
         "source": [
          "obj-5",
          2
         ],
         "destination": [
          "obj-11",
          0
         ]
        }
       }
      ],
      "showontab": 1
     }
    }
   }
  ],
  "lines": []
 }
}
